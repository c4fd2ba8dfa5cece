#include "report.h"

#include "progress.h"

#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QMap>
#include <QtCore/QSaveFile>

#include <algorithm>

namespace ClassroomDemo {

namespace {

const int BarWidth = 30;
const int ValueWidth = 24; // longer answers are cut in the table
const int MaximumOpenRows = 10; // rows of a table whose answers are free

// The answers every learner could give, in their natural order; empty for free answers.
QStringList possibleAnswers(const Question& question)
{
    QStringList values;
    switch (question.type) {
    case QuestionType::MultipleChoice:
        if (question.responses == 1) {
            for (int i = 0; i < question.options; ++i)
                values << QString(QChar(u'A' + char16_t(i)));
        }
        break;
    case QuestionType::YesNo:
        values << QStringLiteral("yes") << QStringLiteral("no");
        if (question.thirdAnswer)
            values << QStringLiteral("unsure");
        break;
    case QuestionType::TrueFalse:
        values << QStringLiteral("true") << QStringLiteral("false");
        if (question.thirdAnswer)
            values << QStringLiteral("unsure");
        break;
    case QuestionType::Likert:
        for (int i = 1; i <= question.scale; ++i)
            values << QString::number(i);
        break;
    case QuestionType::Message:
        values << QStringLiteral("read");
        break;
    default:
        break;
    }
    return values;
}

QString shown(const QString& value)
{
    QString text = value;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (text.isEmpty())
        return QStringLiteral("(empty)");
    return text.size() > ValueWidth ? text.left(ValueWidth - 3) + QStringLiteral("...") : text;
}

QString percent(int count, int total)
{
    return total > 0 ? QString::number(qRound(100.0 * count / total)) + QLatin1Char('%')
                     : QStringLiteral("-");
}

QString bar(int count, int total)
{
    if (count <= 0 || total <= 0)
        return QString();
    return QString(qMax(1, qRound(double(BarWidth) * count / total)), QLatin1Char('#'));
}

QString csvField(const QString& field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"'))
        && !field.contains(QLatin1Char('\n')) && !field.contains(QLatin1Char('\r')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Writes the whole file or nothing.
bool save(const QString& path, const QByteArray& bytes, QString& error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString selfPacedTypeOf(const SelfPacedResults& results, int number)
{
    return number >= 1 && number <= results.questions.size()
        ? typeKeyword(results.questions.at(number - 1).type)
        : QString();
}

// The most common of the answers and how often it came; ties go to the value first in order.
QPair<QString, int> mostCommon(const QStringList& values)
{
    QMap<QString, int> counts;
    for (const QString& value : values)
        ++counts[value];
    QPair<QString, int> best { QString(), 0 };
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > best.second)
            best = { it.key(), it.value() };
    }
    return best;
}

QString typeOf(const QList<AskedQuestion>& questions, int number)
{
    for (const AskedQuestion& asked : questions) {
        if (asked.number == number)
            return typeKeyword(asked.question.type);
    }
    return QString();
}

} // namespace

QString uidText(quint32 uid)
{
    return QString::number(uid, 16).rightJustified(8, QLatin1Char('0'));
}

QList<Tally> tally(const Question& question, const QStringList& values)
{
    QList<Tally> rows;
    for (const QString& value : possibleAnswers(question))
        rows.append(Tally { value, 0, false });
    const bool closed = !rows.isEmpty();
    for (const QString& value : values) {
        auto row = std::find_if(
            rows.begin(), rows.end(), [&](const Tally& t) { return t.value == value; });
        if (row == rows.end()) {
            rows.append(Tally { value, 0, false });
            row = rows.end() - 1;
        }
        ++row->count;
    }
    for (Tally& row : rows)
        row.expected = !question.expected.isEmpty() && row.value == question.expected;
    if (!closed) {
        std::stable_sort(rows.begin(), rows.end(), [](const Tally& a, const Tally& b) {
            return a.count != b.count ? a.count > b.count : a.value < b.value;
        });
    }
    return rows;
}

void printResults(QTextStream& out, const AskedQuestion& asked, const QStringList& values)
{
    const Question& question = asked.question;
    QList<Tally> rows = tally(question, values);
    const int total = qMax(asked.expectedAnswers, int(values.size()));
    const bool closed = !possibleAnswers(question).isEmpty();
    int others = 0;
    if (!closed && rows.size() > MaximumOpenRows) {
        for (int i = MaximumOpenRows; i < rows.size(); ++i)
            others += rows.at(i).count;
        rows = rows.mid(0, MaximumOpenRows);
    }

    int width = 11; // "(no answer)"
    for (const Tally& row : std::as_const(rows))
        width = qMax(width, int(shown(row.value).size()) + 2);
    const auto line = [&](const QString& value, int count, bool withBar) {
        out << "    " << value.leftJustified(width) << QString::number(count).rightJustified(5)
            << percent(count, total).rightJustified(6);
        if (withBar && count > 0)
            out << "  " << bar(count, total);
        out << '\n';
    };
    out << "    " << QStringLiteral("answer").leftJustified(width)
        << QStringLiteral("count").rightJustified(5) << QStringLiteral("share").rightJustified(6)
        << '\n';
    for (const Tally& row : std::as_const(rows))
        line(shown(row.value) + (row.expected ? QStringLiteral(" *") : QString()), row.count, true);
    if (others > 0)
        line(QStringLiteral("(others)"), others, true);
    line(QStringLiteral("(no answer)"), qMax(0, total - int(values.size())), false);

    if (!question.expected.isEmpty()) {
        const int right = int(std::count(values.begin(), values.end(), question.expected));
        out << "    * expected: " << right << " of " << values.size() << " answers ("
            << percent(right, int(values.size())) << ")\n";
    }
}

int SelfPacedResults::markedQuestions() const
{
    return int(std::count_if(
        expected.begin(), expected.end(), [](const QString& value) { return !value.isEmpty(); }));
}

bool SelfPacedResults::isRight(const Answer& answer) const
{
    return answer.question >= 1 && answer.question <= expected.size()
        && !expected.at(answer.question - 1).isEmpty()
        && answer.value == expected.at(answer.question - 1);
}

std::vector<Answer> SelfPacedResults::finalAnswers() const
{
    std::vector<Answer> result;
    for (const Answer& answer : answers) {
        const auto earlier = std::find_if(result.begin(), result.end(),
            [&](const Answer& a) { return a.uid == answer.uid && a.question == answer.question; });
        if (earlier == result.end())
            result.push_back(answer);
        else
            *earlier = answer;
    }
    return result;
}

SelfPacedResults::Count SelfPacedResults::count(
    const std::vector<Answer>& finals, int question, quint32 uid) const
{
    Count count;
    for (const Answer& answer : finals) {
        if ((question > 0 && answer.question != question) || (uid != 0 && answer.uid != uid))
            continue;
        ++count.answers;
        count.right += isRight(answer) ? 1 : 0;
    }
    return count;
}

void printSelfPacedResults(QTextStream& out, const SelfPacedResults& results,
    const QHash<quint32, QString>& names,
    const std::function<QString(const Question&, const QString&)>& shown)
{
    const std::vector<Answer> answers = results.finalAnswers();
    const int devices = int(results.devices.size());
    out << "    " << QStringLiteral("question").leftJustified(24)
        << QStringLiteral("answered").rightJustified(9)
        << QStringLiteral("right").rightJustified(11) << "  most common\n";
    for (int number = 1; number <= results.questions.size(); ++number) {
        const Question& question = results.questions.at(number - 1);
        const QString& expected = results.expected.value(number - 1);
        QStringList values;
        for (const Answer& answer : answers) {
            if (answer.question == number)
                values << answer.value;
        }
        const int right = results.count(answers, number).right;
        const QString kind
            = typeTitle(question.type) + (question.maths ? QStringLiteral(" (maths)") : QString());
        out << "    " << QString::number(number).rightJustified(2) << "  " << kind.leftJustified(20)
            << QStringLiteral("%1/%2").arg(values.size()).arg(devices).rightJustified(9);
        if (expected.isEmpty())
            out << QStringLiteral("-").rightJustified(11);
        else
            out << QString::number(right).rightJustified(6)
                << percent(right, int(values.size())).rightJustified(5);
        const QPair<QString, int> common = mostCommon(values);
        if (common.second > 0) {
            out << "  " << shown(question, common.first)
                << (common.first == expected ? QStringLiteral(" *") : QString()) << " ("
                << common.second << ')';
        }
        out << '\n';
    }
    const int marked = results.markedQuestions();
    if (marked < results.questions.size())
        out << "    * the expected answer; - a question without one\n";
    else
        out << "    * the expected answer\n";

    // Per device, in the order the class is listed: right answers and when it finished.
    out << "  right answers of " << marked << " per device, and when each finished:\n";
    const int columns = 3;
    for (int i = 0; i < devices; ++i) {
        const quint32 uid = results.devices.at(i);
        const SelfPacedResults::Count count = results.count(answers, 0, uid);
        const QString finished = results.finishedMs.contains(uid)
            ? seconds(results.finishedMs.value(uid))
            : QStringLiteral("%1 of %2").arg(count.answers).arg(results.questions.size());
        const bool endOfRow = i % columns == columns - 1 || i == devices - 1;
        const QString cell = names.value(uid, uidText(uid)).leftJustified(14) + ' '
            + QStringLiteral("%1/%2").arg(count.right).arg(marked).rightJustified(4) + "  "
            + finished.rightJustified(7);
        out << (i % columns == 0 ? "    " : "   ") << cell;
        if (endOfRow)
            out << '\n';
    }
}

bool writeCsv(const QString& path, const QList<AskedQuestion>& questions,
    const std::vector<Answer>& answers, const SelfPacedResults& selfPaced,
    const QHash<quint32, QString>& names, QString& error)
{
    QString text = QStringLiteral("question,type,uid,name,answer,time_ms,section\n");
    const auto row = [&](const Answer& answer, const QString& type, const char* section) {
        const QStringList fields = { QString::number(answer.question), type, uidText(answer.uid),
            csvField(names.value(answer.uid)), csvField(answer.value),
            QString::number(answer.timeMs), QLatin1String(section) };
        text += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    };
    for (const Answer& answer : answers)
        row(answer, typeOf(questions, answer.question), "live");
    for (const Answer& answer : selfPaced.answers)
        row(answer, selfPacedTypeOf(selfPaced, answer.question), "self-paced");
    return save(path, text.toUtf8(), error);
}

namespace {

QJsonObject selfPacedJson(const SelfPacedResults& results, const QHash<quint32, QString>& names)
{
    const std::vector<Answer> finals = results.finalAnswers();
    QJsonArray questionArray;
    for (int number = 1; number <= results.questions.size(); ++number) {
        const Question& question = results.questions.at(number - 1);
        const SelfPacedResults::Count count = results.count(finals, number);
        QJsonObject object { { "number", number }, { "type", typeKeyword(question.type) },
            { "prompt", question.prompt }, { "settings", settingsText(question) },
            { "answers", count.answers } };
        if (!question.expected.isEmpty()) {
            object.insert("expected", question.expected);
            object.insert("right", count.right);
        }
        questionArray.append(object);
    }
    QJsonArray deviceArray;
    for (quint32 uid : results.devices) {
        const SelfPacedResults::Count count = results.count(finals, 0, uid);
        QJsonObject object { { "uid", uidText(uid) }, { "name", names.value(uid) },
            { "answers", count.answers }, { "right", count.right },
            { "finished", results.finishedMs.contains(uid) } };
        if (results.finishedMs.contains(uid))
            object.insert("finishedMs", results.finishedMs.value(uid));
        deviceArray.append(object);
    }
    QJsonArray answerArray;
    for (const Answer& answer : results.answers) {
        QJsonObject object { { "question", answer.question },
            { "type", selfPacedTypeOf(results, answer.question) }, { "uid", uidText(answer.uid) },
            { "name", names.value(answer.uid) }, { "answer", answer.value },
            { "timeMs", answer.timeMs } };
        if (!results.expected.value(answer.question - 1).isEmpty())
            object.insert("right", results.isRight(answer));
        answerArray.append(object);
    }
    QJsonObject object { { "ran", results.ran }, { "loss", results.loss },
        { "startMs", results.startMs }, { "durationMs", results.durationMs },
        { "outcome", results.outcome }, { "questions", questionArray }, { "devices", deviceArray },
        { "answers", answerArray } };
    if (!results.problems.isEmpty())
        object.insert("problems", QJsonArray::fromStringList(results.problems));
    return object;
}

} // namespace

bool writeJson(const QString& path, const QJsonObject& lesson,
    const QList<AskedQuestion>& questions, const std::vector<Answer>& answers,
    const SelfPacedResults& selfPaced, const QHash<quint32, QString>& names, QString& error)
{
    QMap<int, int> answerCounts;
    for (const Answer& answer : answers)
        ++answerCounts[answer.question];
    QJsonArray questionArray;
    for (const AskedQuestion& asked : questions) {
        QJsonObject object { { "number", asked.number },
            { "type", typeKeyword(asked.question.type) }, { "prompt", asked.question.prompt },
            { "settings", settingsText(asked.question) }, { "asked", asked.asked },
            { "devices", asked.expectedAnswers }, { "answers", answerCounts.value(asked.number) },
            { "openMs", asked.openMs } };
        if (!asked.question.expected.isEmpty())
            object.insert("expected", asked.question.expected);
        if (!asked.error.isEmpty())
            object.insert("error", asked.error);
        questionArray.append(object);
    }
    QJsonArray answerArray;
    for (const Answer& answer : answers) {
        answerArray.append(QJsonObject { { "question", answer.question },
            { "type", typeOf(questions, answer.question) }, { "uid", uidText(answer.uid) },
            { "name", names.value(answer.uid) }, { "answer", answer.value },
            { "timeMs", answer.timeMs } });
    }
    QJsonObject root { { "lesson", lesson }, { "questions", questionArray },
        { "answers", answerArray } };
    if (!selfPaced.questions.isEmpty())
        root.insert("selfPaced", selfPacedJson(selfPaced, names));
    return save(path, QJsonDocument(root).toJson(QJsonDocument::Indented), error);
}

} // namespace ClassroomDemo
