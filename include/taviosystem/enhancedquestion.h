#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QObject>
#include <QtCore/QString>

namespace Taviosystem {

/*!
    A question of an enhanced question session (EnhancedQuestionSession::sendQuestion()).

    The host builds one and hands it to the session, which only reads it; the host keeps
    ownership. A question carries its text twice: for devices that type the second LaTeX dialect
    and for the others; the session picks the one its devices use. Use the subclasses:
    MultichoiceQuestion, YesNoQuestion, TrueFalseQuestion, LikertQuestion, NumericQuestion,
    TextQuestion, SortInOrderQuestion.
*/
class TAVIOSYSTEM_EXPORT EnhancedQuestion
{
public:
    /*! The question kinds type() reports; also the kind byte of a question message. */
    enum Type {
        Type_None = 0, //!< No known kind; sessions refuse it.
        Type_Multichoice = 1, //!< MultichoiceQuestion.
        Type_YesNo = 2, //!< YesNoQuestion.
        Type_TrueFalse = 3, //!< TrueFalseQuestion.
        Type_Likert = 4, //!< LikertQuestion.
        Type_Numeric = 5, //!< NumericQuestion.
        Type_Text = 6, //!< TextQuestion.
        Type_SortInOrder = 7 //!< SortInOrderQuestion.
    };

    /*! A default question is not valid: sessions refuse it until the host marks it valid. */
    EnhancedQuestion() = default;
    /*!
        A valid question.
        \param questionNumber the number devices ask for it by and answers carry.
        \param questionTextV2 the text for devices that type the second LaTeX dialect.
        \param questionText the text for the other devices.
        \param showQuestionNumber whether devices show the number.
        \param firstOptionFlag, secondOptionFlag passed to the devices as given.
        \param equation for text questions: the answer is maths.
    */
    EnhancedQuestion(int questionNumber, const QString& questionTextV2, const QString& questionText,
        bool showQuestionNumber = true, bool firstOptionFlag = false, bool secondOptionFlag = false,
        bool equation = false);
    /*! Destroys the question. */
    virtual ~EnhancedQuestion();

    /*! The question kind; Type_None for a question of no known kind. */
    virtual int type() const;

    /*! Whether sessions accept the question. */
    bool isValid() const { return m_valid; }
    /*! Marks the question valid or not. */
    void setValid(bool valid) { m_valid = valid; }
    /*! The question's number. */
    int questionNumber() const { return m_questionNumber; }
    /*! Sets the question's number. */
    void setQuestionNumber(int number) { m_questionNumber = number; }
    /*! The text for devices that type the second LaTeX dialect. */
    QString questionTextV2() const { return m_questionTextV2; }
    /*! Sets the text for devices that type the second LaTeX dialect. */
    void setQuestionTextV2(const QString& text) { m_questionTextV2 = text; }
    /*! The text for the other devices. */
    QString questionText() const { return m_questionText; }
    /*! Sets the text for the other devices. */
    void setQuestionText(const QString& text) { m_questionText = text; }
    /*! The text of the chosen dialect. */
    QString questionText(bool expressionV2LatexFormat) const
    {
        return expressionV2LatexFormat ? m_questionTextV2 : m_questionText;
    }
    /*! Whether devices show the question number. */
    bool showQuestionNumber() const { return m_showQuestionNumber; }
    /*! Sets whether devices show the question number. */
    void setShowQuestionNumber(bool show) { m_showQuestionNumber = show; }
    /*! The first further option flag, passed to the devices as given. */
    bool firstOptionFlag() const { return m_firstOptionFlag; }
    /*! Sets the first further option flag. */
    void setFirstOptionFlag(bool flag) { m_firstOptionFlag = flag; }
    /*! The second further option flag, passed to the devices as given. */
    bool secondOptionFlag() const { return m_secondOptionFlag; }
    /*! Sets the second further option flag. */
    void setSecondOptionFlag(bool flag) { m_secondOptionFlag = flag; }
    /*! For text questions: the answer is a maths expression, delivered as MathML. */
    bool equation() const { return m_equation; }
    /*! Sets whether the answer is a maths expression. */
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

/*!
    The common part of the questions whose up to six options the devices label: multiple choice
    and sort in order.
*/
class TAVIOSYSTEM_EXPORT OptionQuestion : public EnhancedQuestion
{
public:
    /*! The options shown, 1 to 6. */
    int numberOfOptions() const { return m_numberOfOptions; }
    /*! Sets the options shown. */
    void setNumberOfOptions(int n) { m_numberOfOptions = n; }
    /*! The options each learner picks or orders, 1 to numberOfOptions(). */
    int numberOfResponses() const { return m_numberOfResponses; }
    /*! Sets the options each learner picks or orders. */
    void setNumberOfResponses(int n) { m_numberOfResponses = n; }
    /*! How devices label the options, and so how answers are written. */
    DisplayOption displayOption() const { return m_displayOption; }
    /*! Sets how devices label the options. */
    void setDisplayOption(DisplayOption option) { m_displayOption = option; }
    /*! The correct answer or order, as option labels. */
    QString correctLabels() const { return m_correctLabels; }

    //! \cond internal
protected:
    OptionQuestion() = default;
    OptionQuestion(int questionNumber, const QString& questionTextV2, const QString& questionText,
        int numberOfOptions, int numberOfResponses, DisplayOption displayOption,
        const QString& correctLabels);

    int m_numberOfOptions = 0;
    int m_numberOfResponses = 0;
    DisplayOption m_displayOption = DisplayOption_Digits;
    QString m_correctLabels;
    //! \endcond
};

/*! Choose one or more of up to six options. */
class TAVIOSYSTEM_EXPORT MultichoiceQuestion : public OptionQuestion
{
public:
    /*! A question that is not valid until the host fills and marks it. */
    MultichoiceQuestion() = default;
    /*!
        A valid multiple-choice question.
        \param correctAnswer the correct options' labels, written as \a displayOption labels them.
    */
    MultichoiceQuestion(int questionNumber, const QString& questionTextV2,
        const QString& questionText, int numberOfOptions, int numberOfResponses,
        DisplayOption displayOption, const QString& correctAnswer);
    /*! Type_Multichoice. */
    int type() const override;

    /*! The correct options' labels. */
    QString correctAnswer() const { return m_correctLabels; }
    /*! Sets the correct options' labels. */
    void setCorrectAnswer(const QString& answer) { m_correctLabels = answer; }
};

/*!
    The common part of yes/no and true/false questions: two choices and an optional third
    (don't know). The correct choice values are those of YesNoQuestion::Answer and
    TrueFalseQuestion::Answer, which agree.
*/
class TAVIOSYSTEM_EXPORT ThreeChoiceQuestion : public EnhancedQuestion
{
public:
    /*! Whether the devices offer the third choice. */
    bool showThirdChoice() const { return m_showThirdChoice; }
    /*! Sets whether the devices offer the third choice. */
    void setShowThirdChoice(bool show) { m_showThirdChoice = show; }
    /*! 0 none, 1 the second choice, 2 the first choice, 3 the third choice. */
    int correctChoice() const { return m_correctChoice; }

    //! \cond internal
protected:
    ThreeChoiceQuestion() = default;
    ThreeChoiceQuestion(int questionNumber, const QString& questionTextV2,
        const QString& questionText, bool showThirdChoice, int correctChoice);

    bool m_showThirdChoice = false;
    int m_correctChoice = 0;
    //! \endcond
};

/*! A yes/no question, with an optional "don't know". */
class TAVIOSYSTEM_EXPORT YesNoQuestion : public ThreeChoiceQuestion
{
    Q_GADGET
public:
    /*! A yes/no choice; each value travels as one letter: "?", "B", "A", "C". */
    enum Answer {
        Answer_None = 0, //!< No answer, or no correct answer.
        Answer_No = 1, //!< No.
        Answer_Yes = 2, //!< Yes.
        Answer_DontKnow = 3 //!< Don't know, or anything else a device sends.
    };
    Q_ENUM(Answer)

    /*! A question that is not valid until the host fills and marks it. */
    YesNoQuestion() = default;
    /*! A valid yes/no question. */
    YesNoQuestion(int questionNumber, const QString& questionTextV2, const QString& questionText,
        bool showThirdChoice, Answer correctAnswer);
    /*! Type_YesNo. */
    int type() const override;

    /*! The correct answer. */
    Answer correctAnswer() const { return Answer(m_correctChoice); }
    /*! Sets the correct answer. */
    void setCorrectAnswer(Answer answer) { m_correctChoice = answer; }
};

/*! A true/false question, with an optional "don't know". */
class TAVIOSYSTEM_EXPORT TrueFalseQuestion : public ThreeChoiceQuestion
{
    Q_GADGET
public:
    /*! A true/false choice; each value travels as one letter: "?", "B", "A", "C". */
    enum Answer {
        Answer_None = 0, //!< No answer, or no correct answer.
        Answer_False = 1, //!< False.
        Answer_True = 2, //!< True.
        Answer_DontKnow = 3 //!< Don't know, or anything else a device sends.
    };
    Q_ENUM(Answer)

    /*! A question that is not valid until the host fills and marks it. */
    TrueFalseQuestion() = default;
    /*! A valid true/false question. */
    TrueFalseQuestion(int questionNumber, const QString& questionTextV2,
        const QString& questionText, bool showThirdChoice, Answer correctAnswer);
    /*! Type_TrueFalse. */
    int type() const override;

    /*! The correct answer. */
    Answer correctAnswer() const { return Answer(m_correctChoice); }
    /*! Sets the correct answer. */
    void setCorrectAnswer(Answer answer) { m_correctChoice = answer; }
};

/*! A point on a Likert scale of 4 to 9 points. */
class TAVIOSYSTEM_EXPORT LikertQuestion : public EnhancedQuestion
{
public:
    /*! A question that is not valid until the host fills and marks it. */
    LikertQuestion() = default;
    /*! A valid Likert question on a \a scale of 4 to 9; \a correctValue 0 for none. */
    LikertQuestion(int questionNumber, const QString& questionTextV2, const QString& questionText,
        int scale, int correctValue = 0);
    /*! Type_Likert. */
    int type() const override;

    /*! The number of points, 4 to 9. */
    int scale() const { return m_scale; }
    /*! Sets the number of points. */
    void setScale(int scale) { m_scale = scale; }
    /*! The correct point; 0: no correct value. */
    int correctValue() const { return m_correctValue; }
    /*! Sets the correct point; 0 for none. */
    void setCorrectValue(int value) { m_correctValue = value; }

private:
    int m_scale = 0;
    int m_correctValue = 0;
};

/*! A number typed on the device. */
class TAVIOSYSTEM_EXPORT NumericQuestion : public EnhancedQuestion
{
public:
    /*! A question that is not valid until the host fills and marks it. */
    NumericQuestion() = default;
    /*! A valid numeric question whose answers are at most \a maxAnswerLength (0 to 255) long. */
    NumericQuestion(int questionNumber, const QString& questionTextV2, const QString& questionText,
        int maxAnswerLength, const QString& correctAnswer);
    /*! Type_Numeric. */
    int type() const override;

    /*! The longest answer, 0 to 255 characters. */
    int maxAnswerLength() const { return m_maxAnswerLength; }
    /*! Sets the longest answer. */
    void setMaxAnswerLength(int length) { m_maxAnswerLength = length; }
    /*! The correct answer. */
    QString correctAnswer() const { return m_correctAnswer; }
    /*! Sets the correct answer. */
    void setCorrectAnswer(const QString& answer) { m_correctAnswer = answer; }

private:
    int m_maxAnswerLength = 0;
    QString m_correctAnswer;
};

/*! A free text or, with equation() set, a maths answer (delivered as MathML). */
class TAVIOSYSTEM_EXPORT TextQuestion : public EnhancedQuestion
{
public:
    /*! A question that is not valid until the host fills and marks it. */
    TextQuestion() = default;
    /*!
        A valid text question whose answers are at most \a maxAnswerLength (0 to 255) long, with
        its correct answer in each dialect.
    */
    TextQuestion(int questionNumber, const QString& questionTextV2, const QString& questionText,
        int maxAnswerLength, const QString& correctAnswerV2, const QString& correctAnswer,
        bool equation = false);
    /*! Type_Text. */
    int type() const override;

    /*! The longest answer, 0 to 255 characters. */
    int maxAnswerLength() const { return m_maxAnswerLength; }
    /*! Sets the longest answer. */
    void setMaxAnswerLength(int length) { m_maxAnswerLength = length; }
    /*! The answer for devices that type the second LaTeX dialect. */
    QString correctAnswerV2() const { return m_correctAnswerV2; }
    /*! Sets the answer for devices that type the second LaTeX dialect. */
    void setCorrectAnswerV2(const QString& answer) { m_correctAnswerV2 = answer; }
    /*! The answer for the other devices. */
    QString correctAnswer() const { return m_correctAnswer; }
    /*! Sets the answer for the other devices. */
    void setCorrectAnswer(const QString& answer) { m_correctAnswer = answer; }
    /*! The answer of the chosen dialect. */
    QString correctAnswer(bool expressionV2LatexFormat) const
    {
        return expressionV2LatexFormat ? m_correctAnswerV2 : m_correctAnswer;
    }

private:
    int m_maxAnswerLength = 0;
    QString m_correctAnswerV2;
    QString m_correctAnswer;
};

/*! Put up to six options in order. */
class TAVIOSYSTEM_EXPORT SortInOrderQuestion : public OptionQuestion
{
public:
    /*! A question that is not valid until the host fills and marks it. */
    SortInOrderQuestion() = default;
    /*!
        A valid sort-in-order question.
        \param correctOrder the options' labels in the correct order.
    */
    SortInOrderQuestion(int questionNumber, const QString& questionTextV2,
        const QString& questionText, int numberOfOptions, int numberOfResponses,
        DisplayOption displayOption, const QString& correctOrder);
    /*! Type_SortInOrder. */
    int type() const override;

    /*! The options' labels in the correct order. */
    QString correctOrder() const { return m_correctLabels; }
    /*! Sets the correct order. */
    void setCorrectOrder(const QString& order) { m_correctLabels = order; }
};

} // namespace Taviosystem
