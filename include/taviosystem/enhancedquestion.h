#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QObject>
#include <QtCore/QString>

namespace Taviosystem {

// A question of an enhanced question session. The host builds one and hands it to the session,
// which only reads it. A question carries its text twice: for devices that type the second
// LaTeX dialect and for the others; the session picks the one its devices use.
class TAVIOSYSTEM_EXPORT EnhancedQuestion
{
public:
    // The question kinds type() reports; also the kind byte of a question message.
    enum Type {
        Type_None = 0,
        Type_Multichoice = 1,
        Type_YesNo = 2,
        Type_TrueFalse = 3,
        Type_Likert = 4,
        Type_Numeric = 5,
        Type_Text = 6,
        Type_SortInOrder = 7
    };

    // A default question is not valid: sessions refuse it until the host marks it valid.
    EnhancedQuestion() = default;
    // A valid question.
    EnhancedQuestion(int questionNumber, const QString& questionTextV2, const QString& questionText,
        bool showQuestionNumber = true, bool firstOptionFlag = false, bool secondOptionFlag = false,
        bool equation = false);
    virtual ~EnhancedQuestion();

    // The question kind; Type_None for a question of no known kind.
    virtual int type() const;

    bool isValid() const { return m_valid; }
    void setValid(bool valid) { m_valid = valid; }
    int questionNumber() const { return m_questionNumber; }
    void setQuestionNumber(int number) { m_questionNumber = number; }
    // The text for devices that type the second LaTeX dialect.
    QString questionTextV2() const { return m_questionTextV2; }
    void setQuestionTextV2(const QString& text) { m_questionTextV2 = text; }
    // The text for the other devices.
    QString questionText() const { return m_questionText; }
    void setQuestionText(const QString& text) { m_questionText = text; }
    // The text of the chosen dialect.
    QString questionText(bool expressionV2LatexFormat) const
    {
        return expressionV2LatexFormat ? m_questionTextV2 : m_questionText;
    }
    bool showQuestionNumber() const { return m_showQuestionNumber; }
    void setShowQuestionNumber(bool show) { m_showQuestionNumber = show; }
    // Two further option flags, passed to the devices as given.
    bool firstOptionFlag() const { return m_firstOptionFlag; }
    void setFirstOptionFlag(bool flag) { m_firstOptionFlag = flag; }
    bool secondOptionFlag() const { return m_secondOptionFlag; }
    void setSecondOptionFlag(bool flag) { m_secondOptionFlag = flag; }
    // For text questions: the answer is a maths expression.
    bool equation() const { return m_equation; }
    void setEquation(bool equation) { m_equation = equation; }

private:
    bool m_valid = false;
    int m_questionNumber = 0;
    QString m_questionTextV2;
    QString m_questionText;
    bool m_showQuestionNumber = false;
    bool m_firstOptionFlag = false;
    bool m_secondOptionFlag = false;
    bool m_equation = false;
};

// The common part of the questions whose up to six options the devices label: multiple choice
// and sort in order.
class TAVIOSYSTEM_EXPORT OptionQuestion : public EnhancedQuestion
{
public:
    int numberOfOptions() const { return m_numberOfOptions; }
    void setNumberOfOptions(int n) { m_numberOfOptions = n; }
    int numberOfResponses() const { return m_numberOfResponses; }
    void setNumberOfResponses(int n) { m_numberOfResponses = n; }
    DisplayOption displayOption() const { return m_displayOption; }
    void setDisplayOption(DisplayOption option) { m_displayOption = option; }
    // The correct answer or order, as option labels.
    QString correctLabels() const { return m_correctLabels; }

protected:
    OptionQuestion() = default;
    OptionQuestion(int questionNumber, const QString& questionTextV2, const QString& questionText,
        int numberOfOptions, int numberOfResponses, DisplayOption displayOption,
        const QString& correctLabels);

    int m_numberOfOptions = 0;
    int m_numberOfResponses = 0;
    DisplayOption m_displayOption = DisplayOption_Digits;
    QString m_correctLabels;
};

// Choose one or more of up to six options.
class TAVIOSYSTEM_EXPORT MultichoiceQuestion : public OptionQuestion
{
public:
    MultichoiceQuestion() = default;
    MultichoiceQuestion(int questionNumber, const QString& questionTextV2,
        const QString& questionText, int numberOfOptions, int numberOfResponses,
        DisplayOption displayOption, const QString& correctAnswer);
    int type() const override;

    QString correctAnswer() const { return m_correctLabels; }
    void setCorrectAnswer(const QString& answer) { m_correctLabels = answer; }
};

// The common part of yes/no and true/false questions: two choices and an optional third
// (don't know). The correct choice values are those of YesNoQuestion::Answer and
// TrueFalseQuestion::Answer, which agree.
class TAVIOSYSTEM_EXPORT ThreeChoiceQuestion : public EnhancedQuestion
{
public:
    // The display flag: the devices offer the third choice.
    bool showThirdChoice() const { return m_showThirdChoice; }
    void setShowThirdChoice(bool show) { m_showThirdChoice = show; }
    // 0 none, 1 the second choice, 2 the first choice, 3 the third choice.
    int correctChoice() const { return m_correctChoice; }

protected:
    ThreeChoiceQuestion() = default;
    ThreeChoiceQuestion(int questionNumber, const QString& questionTextV2,
        const QString& questionText, bool showThirdChoice, int correctChoice);

    bool m_showThirdChoice = false;
    int m_correctChoice = 0;
};

class TAVIOSYSTEM_EXPORT YesNoQuestion : public ThreeChoiceQuestion
{
    Q_GADGET
public:
    // Each value travels as one letter: "?", "B", "A", "C".
    enum Answer { Answer_None = 0, Answer_No = 1, Answer_Yes = 2, Answer_DontKnow = 3 };
    Q_ENUM(Answer)

    YesNoQuestion() = default;
    YesNoQuestion(int questionNumber, const QString& questionTextV2, const QString& questionText,
        bool showThirdChoice, Answer correctAnswer);
    int type() const override;

    Answer correctAnswer() const { return Answer(m_correctChoice); }
    void setCorrectAnswer(Answer answer) { m_correctChoice = answer; }
};

class TAVIOSYSTEM_EXPORT TrueFalseQuestion : public ThreeChoiceQuestion
{
    Q_GADGET
public:
    // Each value travels as one letter: "?", "B", "A", "C".
    enum Answer { Answer_None = 0, Answer_False = 1, Answer_True = 2, Answer_DontKnow = 3 };
    Q_ENUM(Answer)

    TrueFalseQuestion() = default;
    TrueFalseQuestion(int questionNumber, const QString& questionTextV2,
        const QString& questionText, bool showThirdChoice, Answer correctAnswer);
    int type() const override;

    Answer correctAnswer() const { return Answer(m_correctChoice); }
    void setCorrectAnswer(Answer answer) { m_correctChoice = answer; }
};

class TAVIOSYSTEM_EXPORT LikertQuestion : public EnhancedQuestion
{
public:
    LikertQuestion() = default;
    LikertQuestion(int questionNumber, const QString& questionTextV2, const QString& questionText,
        int scale, int correctValue = 0);
    int type() const override;

    int scale() const { return m_scale; }
    void setScale(int scale) { m_scale = scale; }
    // 0: no correct value.
    int correctValue() const { return m_correctValue; }
    void setCorrectValue(int value) { m_correctValue = value; }

private:
    int m_scale = 0;
    int m_correctValue = 0;
};

class TAVIOSYSTEM_EXPORT NumericQuestion : public EnhancedQuestion
{
public:
    NumericQuestion() = default;
    NumericQuestion(int questionNumber, const QString& questionTextV2, const QString& questionText,
        int maxAnswerLength, const QString& correctAnswer);
    int type() const override;

    int maxAnswerLength() const { return m_maxAnswerLength; }
    void setMaxAnswerLength(int length) { m_maxAnswerLength = length; }
    QString correctAnswer() const { return m_correctAnswer; }
    void setCorrectAnswer(const QString& answer) { m_correctAnswer = answer; }

private:
    int m_maxAnswerLength = 0;
    QString m_correctAnswer;
};

// A free text or, with equation() set, a maths answer.
class TAVIOSYSTEM_EXPORT TextQuestion : public EnhancedQuestion
{
public:
    TextQuestion() = default;
    TextQuestion(int questionNumber, const QString& questionTextV2, const QString& questionText,
        int maxAnswerLength, const QString& correctAnswerV2, const QString& correctAnswer,
        bool equation = false);
    int type() const override;

    int maxAnswerLength() const { return m_maxAnswerLength; }
    void setMaxAnswerLength(int length) { m_maxAnswerLength = length; }
    // The answer for devices that type the second LaTeX dialect.
    QString correctAnswerV2() const { return m_correctAnswerV2; }
    void setCorrectAnswerV2(const QString& answer) { m_correctAnswerV2 = answer; }
    QString correctAnswer() const { return m_correctAnswer; }
    void setCorrectAnswer(const QString& answer) { m_correctAnswer = answer; }
    // The answer of the chosen dialect.
    QString correctAnswer(bool expressionV2LatexFormat) const
    {
        return expressionV2LatexFormat ? m_correctAnswerV2 : m_correctAnswer;
    }

private:
    int m_maxAnswerLength = 0;
    QString m_correctAnswerV2;
    QString m_correctAnswer;
};

// Put up to six options in order.
class TAVIOSYSTEM_EXPORT SortInOrderQuestion : public OptionQuestion
{
public:
    SortInOrderQuestion() = default;
    SortInOrderQuestion(int questionNumber, const QString& questionTextV2,
        const QString& questionText, int numberOfOptions, int numberOfResponses,
        DisplayOption displayOption, const QString& correctOrder);
    int type() const override;

    QString correctOrder() const { return m_correctLabels; }
    void setCorrectOrder(const QString& order) { m_correctLabels = order; }
};

} // namespace Taviosystem
