// The lesson's questions: what each one asks, the default set, and the small text format of a
// question set file.
#pragma once

#include <QtCore/QList>
#include <QtCore/QString>

namespace ClassroomDemo {

enum class QuestionType {
    MultipleChoice,
    YesNo,
    TrueFalse,
    Likert,
    Numeric,
    Text,
    SortInOrder,
    Message
};

struct Question
{
    QuestionType type = QuestionType::MultipleChoice;
    // What the teacher asks. Numeric, text and message questions send it to the devices (at most
    // 48 bytes of UTF-8); the other types only show it here.
    QString prompt;
    int options = 4; // multiple choice and sort in order: 1 to 6
    int responses = 1; // multiple choice and sort in order: 1 to options
    int scale = 5; // Likert: 4 to 9 points
    int maxLength = 10; // numeric and text: the longest answer, 0 to 255 characters
    bool thirdAnswer = false; // yes/no and true/false: an "unsure" answer as well
    bool maths = false; // text: the prompt holds MathML and the answers are maths
    // The answer most learners give, in the form the results show it ("C", "yes", "true", "4",
    // "42", "BDAC", LaTeX for maths); empty when the question has none.
    QString expected;
};

// The file keyword ("multichoice") and the title ("multiple choice") of a type.
QString typeKeyword(QuestionType type);
QString typeTitle(QuestionType type);
// The settings of a question in words: "4 options, 1 response".
QString settingsText(const Question& question);

QList<Question> defaultQuestions();
// The self-paced test: one question of six kinds (no message), each text sent to the devices.
QList<Question> selfPacedQuestions();

// Parses a question set. False with the line number and the reason in error when a line is
// not understood or the set is empty.
bool parseQuestions(const QString& text, QList<Question>& questions, QString& error);
bool readQuestionFile(const QString& path, QList<Question>& questions, QString& error);

// The question file format, as --help prints it.
QString questionFormatHelp();

} // namespace ClassroomDemo
