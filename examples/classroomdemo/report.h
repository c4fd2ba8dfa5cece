// What the lesson shows and saves: each question's results as a table with a text histogram,
// and every answer as CSV or JSON.
#pragma once

#include "answerlog.h"
#include "questions.h"

#include <QtCore/QHash>
#include <QtCore/QJsonObject>
#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QTextStream>

#include <functional>
#include <vector>

namespace ClassroomDemo {

// One question of the lesson as it went.
struct AskedQuestion
{
    int number = 0;
    Question question;
    bool asked = false;
    QString error; // why it could not be asked
    int expectedAnswers = 0; // the answer devices registered when it was asked
    qint64 openMs = 0; // how long it stayed open
    QString outcome; // why it was closed
};

// The self-paced test as it went.
struct SelfPacedResults
{
    bool ran = false; // the session started
    double loss = 0.0; // the radio's loss share
    QList<Question> questions; // question n is questions[n - 1]
    // Per question the expected answer as delivered (MathML for maths); empty for none.
    QStringList expected;
    QList<quint32> devices; // the devices that took part, in the order the class is listed
    std::vector<Answer> answers; // as delivered, oldest first; times since the lesson started
    QHash<quint32, qint64> finishedMs; // per device that finished: since the test started
    qint64 startMs = 0; // since the lesson started
    qint64 durationMs = 0;
    QString outcome;
    QStringList problems;

    // The questions with an expected answer.
    int markedQuestions() const;
    // Whether an answer is the expected one (false for a question without one).
    bool isRight(const Answer& answer) const;
    // Each device's last answer to each question, oldest first.
    std::vector<Answer> finalAnswers() const;

    // Of the final answers to a question (question > 0) or of a device (uid given): how many
    // there are and how many are right.
    struct Count
    {
        int answers = 0;
        int right = 0;
    };
    Count count(const std::vector<Answer>& finals, int question, quint32 uid = 0) const;
};

// One row of a results table.
struct Tally
{
    QString value;
    int count = 0;
    bool expected = false;
};

// The rows for a question's answers (one value per learner, in the form shown): every possible
// answer of the closed types, including those nobody gave; the given ones for the others, the
// most frequent first.
QList<Tally> tally(const Question& question, const QStringList& values);

// The table: answer, count, share of the class and a bar, then a row for learners who did not
// answer and a line about the expected answer.
void printResults(QTextStream& out, const AskedQuestion& asked, const QStringList& values);

// The self-paced results: per question how many devices answered, how many got it right and the
// most common answer (shown(question, value) gives its form in the table); then per device how
// many it got right and when it finished.
void printSelfPacedResults(QTextStream& out, const SelfPacedResults& results,
    const QHash<quint32, QString>& names,
    const std::function<QString(const Question&, const QString&)>& shown);

// Every answer, oldest first: question number and type, device uid and name, the answer as
// delivered, its arrival time in milliseconds since the lesson started and its section ("live"
// for the questions the teacher asked, "self-paced" for the test, whose answers come last).
bool writeCsv(const QString& path, const QList<AskedQuestion>& questions,
    const std::vector<Answer>& answers, const SelfPacedResults& selfPaced,
    const QHash<quint32, QString>& names, QString& error);
// The same as one JSON object: {"lesson": lesson, "questions": [...], "answers": [...]} and, when
// the test ran, "selfPaced": {..., "questions": [...], "devices": [...], "answers": [...]}.
bool writeJson(const QString& path, const QJsonObject& lesson,
    const QList<AskedQuestion>& questions, const std::vector<Answer>& answers,
    const SelfPacedResults& selfPaced, const QHash<quint32, QString>& names, QString& error);

// A uid as the tables show it: eight hexadecimal digits.
QString uidText(quint32 uid);

} // namespace ClassroomDemo
