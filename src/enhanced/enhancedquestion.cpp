#include <taviosystem/enhancedquestion.h>

namespace Taviosystem {

EnhancedQuestion::EnhancedQuestion(int questionNumber, const QString& questionTextV2,
    const QString& questionText, bool showQuestionNumber, bool firstOptionFlag,
    bool secondOptionFlag, bool equation)
    : m_valid(true)
    , m_questionNumber(questionNumber)
    , m_questionTextV2(questionTextV2)
    , m_questionText(questionText)
    , m_showQuestionNumber(showQuestionNumber)
    , m_firstOptionFlag(firstOptionFlag)
    , m_secondOptionFlag(secondOptionFlag)
    , m_equation(equation)
{
}

EnhancedQuestion::~EnhancedQuestion() = default;

int EnhancedQuestion::type() const { return Type_None; }

OptionQuestion::OptionQuestion(int questionNumber, const QString& questionTextV2,
    const QString& questionText, int numberOfOptions, int numberOfResponses,
    DisplayOption displayOption, const QString& correctLabels)
    : EnhancedQuestion(questionNumber, questionTextV2, questionText)
    , m_numberOfOptions(numberOfOptions)
    , m_numberOfResponses(numberOfResponses)
    , m_displayOption(displayOption)
    , m_correctLabels(correctLabels)
{
}

MultichoiceQuestion::MultichoiceQuestion(int questionNumber, const QString& questionTextV2,
    const QString& questionText, int numberOfOptions, int numberOfResponses,
    DisplayOption displayOption, const QString& correctAnswer)
    : OptionQuestion(questionNumber, questionTextV2, questionText, numberOfOptions,
        numberOfResponses, displayOption, correctAnswer)
{
}

int MultichoiceQuestion::type() const { return Type_Multichoice; }

SortInOrderQuestion::SortInOrderQuestion(int questionNumber, const QString& questionTextV2,
    const QString& questionText, int numberOfOptions, int numberOfResponses,
    DisplayOption displayOption, const QString& correctOrder)
    : OptionQuestion(questionNumber, questionTextV2, questionText, numberOfOptions,
        numberOfResponses, displayOption, correctOrder)
{
}

int SortInOrderQuestion::type() const { return Type_SortInOrder; }

ThreeChoiceQuestion::ThreeChoiceQuestion(int questionNumber, const QString& questionTextV2,
    const QString& questionText, bool showThirdChoice, int correctChoice)
    : EnhancedQuestion(questionNumber, questionTextV2, questionText)
    , m_showThirdChoice(showThirdChoice)
    , m_correctChoice(correctChoice)
{
}

YesNoQuestion::YesNoQuestion(int questionNumber, const QString& questionTextV2,
    const QString& questionText, bool showThirdChoice, Answer correctAnswer)
    : ThreeChoiceQuestion(
        questionNumber, questionTextV2, questionText, showThirdChoice, correctAnswer)
{
}

int YesNoQuestion::type() const { return Type_YesNo; }

TrueFalseQuestion::TrueFalseQuestion(int questionNumber, const QString& questionTextV2,
    const QString& questionText, bool showThirdChoice, Answer correctAnswer)
    : ThreeChoiceQuestion(
        questionNumber, questionTextV2, questionText, showThirdChoice, correctAnswer)
{
}

int TrueFalseQuestion::type() const { return Type_TrueFalse; }

LikertQuestion::LikertQuestion(int questionNumber, const QString& questionTextV2,
    const QString& questionText, int scale, int correctValue)
    : EnhancedQuestion(questionNumber, questionTextV2, questionText)
    , m_scale(scale)
    , m_correctValue(correctValue)
{
}

int LikertQuestion::type() const { return Type_Likert; }

NumericQuestion::NumericQuestion(int questionNumber, const QString& questionTextV2,
    const QString& questionText, int maxAnswerLength, const QString& correctAnswer)
    : EnhancedQuestion(questionNumber, questionTextV2, questionText)
    , m_maxAnswerLength(maxAnswerLength)
    , m_correctAnswer(correctAnswer)
{
}

int NumericQuestion::type() const { return Type_Numeric; }

TextQuestion::TextQuestion(int questionNumber, const QString& questionTextV2,
    const QString& questionText, int maxAnswerLength, const QString& correctAnswerV2,
    const QString& correctAnswer, bool equation)
    : EnhancedQuestion(questionNumber, questionTextV2, questionText, true, false, false, equation)
    , m_maxAnswerLength(maxAnswerLength)
    , m_correctAnswerV2(correctAnswerV2)
    , m_correctAnswer(correctAnswer)
{
}

int TextQuestion::type() const { return Type_Text; }

} // namespace Taviosystem
