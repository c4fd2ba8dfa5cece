#include "questions.h"

#include <QtCore/QFile>
#include <QtCore/QRegularExpression>
#include <QtCore/QStringList>

#include <algorithm>

namespace ClassroomDemo {

namespace {

// The default lesson, written in the question file format.
const char* const DefaultQuestionSet = R"(# The default lesson: one question of each type.
multichoice | 4 options | 1 response | answer C | Largest planet? A Mars, B Venus, C Jupiter, D Earth
yesno       | third answer | answer yes | Is 17 a prime number?
truefalse   | answer false | Water boils at 50 degrees C at sea level.
likert      | 5 points | answer 4 | I understood today's lesson.
numeric     | 4 chars | answer 42 | What is 6 x 7?
text        | maths | 12 chars | answer \frac{1}{2} | Simplify <math><mfrac><mn>2</mn><mn>4</mn></mfrac></math>
sortinorder | 4 options | answer BDAC | Smallest first: A 1/3, B 1/8, C 1/2, D 1/4
message     | Well done! Homework: page 12, exercises 1-4.
)";

// The self-paced test, in the same format. Every question's text goes to the devices; the first
// is long enough to travel in several pieces.
const char* const SelfPacedQuestionSet = R"(# The self-paced test.
multichoice | 4 options | answer B | Read carefully. A train leaves Hollin Cross at 09:40 and the journey takes 1 hour 35 minutes, with no delays on the way. At what time does it arrive? A 10:75, B 11:15, C 11:05, D 10:15
truefalse   | third answer | answer true | The angles of a triangle add up to 180 degrees.
numeric     | 3 chars | answer 9 | What is 15% of 60?
text        | maths | 12 chars | answer x^{3} | Simplify <math><mfrac><msup><mi>x</mi><mn>5</mn></msup><msup><mi>x</mi><mn>2</mn></msup></mfrac></math>
sortinorder | 4 options | answer BADC | Smallest first: A 0.5, B 0.05, C 0.55, D 0.505
likert      | 5 points | How confident do you feel with decimals now?
)";

// Devices show at most this many bytes of a question's text (its zero byte aside).
const int MaximumPromptBytes = 48;

struct TypeName
{
    QuestionType type;
    const char* keyword;
    const char* title;
};

const TypeName TypeNames[] = {
    { QuestionType::MultipleChoice, "multichoice", "multiple choice" },
    { QuestionType::YesNo, "yesno", "yes/no" },
    { QuestionType::TrueFalse, "truefalse", "true/false" },
    { QuestionType::Likert, "likert", "Likert" },
    { QuestionType::Numeric, "numeric", "numeric" },
    { QuestionType::Text, "text", "text" },
    { QuestionType::SortInOrder, "sortinorder", "sort in order" },
    { QuestionType::Message, "message", "message" },
};

const TypeName& typeName(QuestionType type)
{
    return *std::find_if(std::begin(TypeNames), std::end(TypeNames),
        [type](const TypeName& name) { return name.type == type; });
}

bool isChoice(QuestionType type)
{
    return type == QuestionType::MultipleChoice || type == QuestionType::SortInOrder;
}

bool hasTypedAnswer(QuestionType type)
{
    return type == QuestionType::Numeric || type == QuestionType::Text;
}

// Letters from A, each one among the question's options and used once.
bool checkLetters(const QString& letters, int options, QString& why)
{
    for (int i = 0; i < letters.size(); ++i) {
        const QChar letter = letters.at(i);
        if (letter < QLatin1Char('A') || letter.unicode() >= 'A' + options) {
            why = QStringLiteral("answer letter '%1' is not one of the %2 options")
                      .arg(letter)
                      .arg(options);
            return false;
        }
        if (letters.indexOf(letter, i + 1) >= 0) {
            why = QStringLiteral("answer letter '%1' comes twice").arg(letter);
            return false;
        }
    }
    return true;
}

// Brings the expected answer into the form the results show and checks it fits the question.
bool normaliseExpected(Question& question, QString& why)
{
    QString& answer = question.expected;
    if (answer.isEmpty())
        return true;
    switch (question.type) {
    case QuestionType::MultipleChoice:
    case QuestionType::SortInOrder:
        answer = answer.toUpper().remove(QLatin1Char(' '));
        if (!checkLetters(answer, question.options, why))
            return false;
        if (answer.size() != question.responses) {
            why = QStringLiteral("the answer has %1 letters but the question takes %2")
                      .arg(answer.size())
                      .arg(question.responses);
            return false;
        }
        if (question.type == QuestionType::MultipleChoice)
            std::sort(answer.begin(), answer.end());
        return true;
    case QuestionType::YesNo:
    case QuestionType::TrueFalse: {
        answer = answer.toLower();
        const bool yesNo = question.type == QuestionType::YesNo;
        QStringList allowed = yesNo
            ? QStringList { QStringLiteral("yes"), QStringLiteral("no") }
            : QStringList { QStringLiteral("true"), QStringLiteral("false") };
        if (question.thirdAnswer)
            allowed << QStringLiteral("unsure");
        if (!allowed.contains(answer)) {
            why = QStringLiteral("the answer must be one of %1")
                      .arg(allowed.join(QLatin1String(", ")));
            return false;
        }
        return true;
    }
    case QuestionType::Likert: {
        bool ok = false;
        const int point = answer.toInt(&ok);
        if (!ok || point < 1 || point > question.scale) {
            why = QStringLiteral("the answer must be a point from 1 to %1").arg(question.scale);
            return false;
        }
        answer = QString::number(point);
        return true;
    }
    case QuestionType::Numeric:
    case QuestionType::Text:
        if (answer.size() > question.maxLength) {
            why = QStringLiteral("the answer is longer than %1 characters").arg(question.maxLength);
            return false;
        }
        return true;
    case QuestionType::Message:
        why = QStringLiteral("a message has no answer");
        return false;
    }
    return true;
}

// A question set of this program's own, which always parses.
QList<Question> builtInQuestions(const char* set)
{
    QList<Question> questions;
    QString error;
    parseQuestions(QString::fromUtf8(set), questions, error);
    Q_ASSERT(error.isEmpty());
    return questions;
}

QString defaultPrompt(QuestionType type)
{
    switch (type) {
    case QuestionType::Numeric:
        return QStringLiteral("Type a number.");
    case QuestionType::Text:
        return QStringLiteral("Type your answer.");
    case QuestionType::Message:
        return QStringLiteral("Please look at the board.");
    default:
        return QStringLiteral("Look at the board and answer.");
    }
}

// One line of a question set: TYPE | SETTING | ... | QUESTION TEXT.
bool parseLine(const QString& line, Question& question, QString& why)
{
    const QStringList fields = line.split(QLatin1Char('|'));
    const QString keyword = fields.first().trimmed().toLower();
    const auto* name = std::find_if(std::begin(TypeNames), std::end(TypeNames),
        [&](const TypeName& n) { return keyword == QLatin1String(n.keyword); });
    if (name == std::end(TypeNames)) {
        why = QStringLiteral("unknown question type '%1'").arg(keyword);
        return false;
    }
    question = Question();
    question.type = name->type;
    question.responses = 1;
    question.maxLength = question.type == QuestionType::Text ? 40 : 10;

    static const QRegularExpression countSetting(
        QStringLiteral("^(\\d+)\\s+(options?|responses?|points?|chars?|characters?)$"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression answerSetting(
        QStringLiteral("^answer\\s+(.+)$"), QRegularExpression::CaseInsensitiveOption);
    bool responsesGiven = false;
    bool promptGiven = false;
    for (int i = 1; i < fields.size(); ++i) {
        const QString field = fields.at(i).trimmed();
        if (field.isEmpty())
            continue;
        const QString lower = field.toLower();
        QString appliesTo; // the types a setting is for, when this type is not one of them
        if (const auto count = countSetting.match(field); count.hasMatch()) {
            const int value = count.captured(1).toInt();
            const QChar unit = count.captured(2).at(0).toLower();
            if (unit == QLatin1Char('o') || unit == QLatin1Char('r')) {
                if (!isChoice(question.type))
                    appliesTo = QStringLiteral("multichoice and sortinorder");
                else if (unit == QLatin1Char('o'))
                    question.options = value;
                else {
                    question.responses = value;
                    responsesGiven = true;
                }
            } else if (unit == QLatin1Char('p')) {
                if (question.type != QuestionType::Likert)
                    appliesTo = QStringLiteral("likert");
                question.scale = value;
            } else {
                if (!hasTypedAnswer(question.type))
                    appliesTo = QStringLiteral("numeric and text");
                question.maxLength = value;
            }
        } else if (lower == QLatin1String("third answer")) {
            if (question.type != QuestionType::YesNo && question.type != QuestionType::TrueFalse)
                appliesTo = QStringLiteral("yesno and truefalse");
            question.thirdAnswer = true;
        } else if (lower == QLatin1String("maths") || lower == QLatin1String("math")) {
            if (question.type != QuestionType::Text)
                appliesTo = QStringLiteral("text");
            question.maths = true;
        } else if (const auto answer = answerSetting.match(field); answer.hasMatch()) {
            question.expected = answer.captured(1).trimmed();
        } else if (promptGiven) {
            why = QStringLiteral("two question texts ('%1' is not a setting)").arg(field);
            return false;
        } else {
            question.prompt = field;
            promptGiven = true;
        }
        if (!appliesTo.isEmpty()) {
            why = QStringLiteral("'%1' is for %2 only").arg(field, appliesTo);
            return false;
        }
    }

    if (question.type == QuestionType::SortInOrder && !responsesGiven)
        question.responses = question.options;
    if (question.options < 1 || question.options > 6) {
        why = QStringLiteral("a question has 1 to 6 options");
        return false;
    }
    if (question.responses < 1 || question.responses > question.options) {
        why = QStringLiteral("the responses must be 1 to the number of options");
        return false;
    }
    if (question.scale < 4 || question.scale > 9) {
        why = QStringLiteral("a Likert scale has 4 to 9 points");
        return false;
    }
    if (question.maxLength > 255) {
        why = QStringLiteral("an answer is at most 255 characters");
        return false;
    }
    if (question.prompt.isEmpty())
        question.prompt = defaultPrompt(question.type);
    // A maths text is checked once it is converted, when the question is asked.
    const bool sent = question.type == QuestionType::Numeric
        || question.type == QuestionType::Message
        || (question.type == QuestionType::Text && !question.maths);
    if (sent && question.prompt.toUtf8().size() > MaximumPromptBytes) {
        why = QStringLiteral("the question text is longer than %1 bytes").arg(MaximumPromptBytes);
        return false;
    }
    return normaliseExpected(question, why);
}

} // namespace

QString typeKeyword(QuestionType type) { return QLatin1String(typeName(type).keyword); }

QString typeTitle(QuestionType type) { return QLatin1String(typeName(type).title); }

QString settingsText(const Question& question)
{
    const auto plural = [](int n, const char* word) {
        return QStringLiteral("%1 %2%3")
            .arg(n)
            .arg(QLatin1String(word))
            .arg(n == 1 ? QString() : QStringLiteral("s"));
    };
    switch (question.type) {
    case QuestionType::MultipleChoice:
        return plural(question.options, "option") + QStringLiteral(", ")
            + plural(question.responses, "response");
    case QuestionType::SortInOrder:
        return plural(question.options, "option")
            + QStringLiteral(", %1 in order").arg(question.responses);
    case QuestionType::YesNo:
    case QuestionType::TrueFalse:
        return question.thirdAnswer ? QStringLiteral("with unsure") : QStringLiteral("two answers");
    case QuestionType::Likert:
        return plural(question.scale, "point");
    case QuestionType::Numeric:
        return QStringLiteral("up to %1").arg(plural(question.maxLength, "digit"));
    case QuestionType::Text:
        return (question.maths ? QStringLiteral("maths, up to ") : QStringLiteral("up to "))
            + plural(question.maxLength, "character");
    case QuestionType::Message:
        return QStringLiteral("read receipts");
    }
    return QString();
}

QList<Question> defaultQuestions() { return builtInQuestions(DefaultQuestionSet); }

QList<Question> selfPacedQuestions() { return builtInQuestions(SelfPacedQuestionSet); }

bool parseQuestions(const QString& text, QList<Question>& questions, QString& error)
{
    questions.clear();
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        Question question;
        QString why;
        if (!parseLine(line, question, why)) {
            error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
            return false;
        }
        questions.append(question);
    }
    if (questions.isEmpty()) {
        error = QStringLiteral("no questions");
        return false;
    }
    return true;
}

bool readQuestionFile(const QString& path, QList<Question>& questions, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        error = file.errorString();
        return false;
    }
    return parseQuestions(QString::fromUtf8(file.readAll()), questions, error);
}

QString questionFormatHelp()
{
    return QStringLiteral(
               R"(Question set file (--questions FILE): UTF-8 text, one question per line, fields separated
by '|' and trimmed; blank lines and lines starting with '#' are skipped:

  TYPE | SETTING | ... | QUESTION TEXT

TYPE is multichoice, yesno, truefalse, likert, numeric, text, sortinorder or message.
Settings, in any order and each optional:
  N options     multichoice, sortinorder: options A, B, ... (1 to 6, default 4)
  N responses   multichoice: letters each learner picks (default 1);
                sortinorder: letters each learner puts in order (default all options)
  N points      likert: the scale (4 to 9, default 5)
  N chars       numeric (default 10), text (default 40): the longest answer (0 to 255)
  third answer  yesno, truefalse: learners may also answer "unsure"
  maths         text: the question text holds MathML (<math>...</math>); answers are maths
  answer X      the answer most simulated learners give: option letters (C, BDAC), yes, no,
                true, false, unsure, a Likert point, a number, text, or LaTeX for maths
The one field that is not a setting is the question text. Numeric, text and message
questions send it to the devices: at most 48 bytes (for maths, once converted to LaTeX).

The default lesson in this format:
)")
        + QString::fromUtf8(DefaultQuestionSet)
              .section(QLatin1Char('\n'), 1)
              .replace(
                  QRegularExpression(QStringLiteral("^(?=.)"), QRegularExpression::MultilineOption),
                  QStringLiteral("  "));
}

} // namespace ClassroomDemo
