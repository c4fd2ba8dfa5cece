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

// Every answer, oldest first: question number and type, device uid and name, the answer as
// delivered and its arrival time in milliseconds since the lesson started.
bool writeCsv(const QString& path, const QList<AskedQuestion>& questions,
    const std::vector<Answer>& answers, const QHash<quint32, QString>& names, QString& error);
// The same as one JSON object: {"lesson": lesson, "questions": [...], "answers": [...]}.
bool writeJson(const QString& path, const QJsonObject& lesson,
    const QList<AskedQuestion>& questions, const std::vector<Answer>& answers,
    const QHash<quint32, QString>& names, QString& error);

// A uid as the tables show it: eight hexadecimal digits.
QString uidText(quint32 uid);

} // namespace ClassroomDemo
