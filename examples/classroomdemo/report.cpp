#include "report.h"

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

bool writeCsv(const QString& path, const QList<AskedQuestion>& questions,
    const std::vector<Answer>& answers, const QHash<quint32, QString>& names, QString& error)
{
    QString text = QStringLiteral("question,type,uid,name,answer,time_ms\n");
    for (const Answer& answer : answers) {
        const QStringList fields
            = { QString::number(answer.question), typeOf(questions, answer.question),
                  uidText(answer.uid), csvField(names.value(answer.uid)), csvField(answer.value),
                  QString::number(answer.timeMs) };
        text += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return save(path, text.toUtf8(), error);
}

bool writeJson(const QString& path, const QJsonObject& lesson,
    const QList<AskedQuestion>& questions, const std::vector<Answer>& answers,
    const QHash<quint32, QString>& names, QString& error)
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
    const QJsonObject root { { "lesson", lesson }, { "questions", questionArray },
        { "answers", answerArray } };
    return save(path, QJsonDocument(root).toJson(QJsonDocument::Indented), error);
}

} // namespace ClassroomDemo
