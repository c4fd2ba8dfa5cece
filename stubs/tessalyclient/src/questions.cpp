#include "tessaly/questions.h"

namespace Tessaly {

AssessmentOptions::AssessmentOptions(QObject* parent)
    : QObject(parent)
{
}

QVariantMap AssessmentOptions::toVariantMap() const
{
    return QVariantMap { { QStringLiteral("allowNavigation"), allowNavigation },
        { QStringLiteral("allowBackNavigation"), allowBackNavigation },
        { QStringLiteral("questionCount"), questionCount },
        { QStringLiteral("startingQuestion"), startingQuestion } };
}

QuestionBase::QuestionBase(const QString& kind, QObject* parent)
    : QObject(parent)
    , m_kind(kind)
{
}

QuestionBase::~QuestionBase() = default;

QString QuestionBase::kind() const { return m_kind; }

QVariantMap QuestionBase::toVariantMap() const
{
    return QVariantMap { { QStringLiteral("kind"), m_kind }, { QStringLiteral("number"), number },
        { QStringLiteral("text"), text }, { QStringLiteral("showNumber"), showNumber },
        { QStringLiteral("maxAnswers"), maxAnswers }, { QStringLiteral("maxLength"), maxLength },
        { QStringLiteral("correctAnswer"), correctAnswer },
        { QStringLiteral("displayLabels"), displayLabels } };
}

QuestionBaseWithOptions::QuestionBaseWithOptions(const QString& kind, QObject* parent)
    : QuestionBase(kind, parent)
{
}

void QuestionBaseWithOptions::addActivityOption(QString text, QString key, int value)
{
    m_options.append(ActivityOption { text, key, value });
}

QList<ActivityOption> QuestionBaseWithOptions::activityOptions() const { return m_options; }

QVariantMap QuestionBaseWithOptions::toVariantMap() const
{
    QVariantMap map = QuestionBase::toVariantMap();
    QVariantList options;
    for (const ActivityOption& option : m_options)
        options.append(QVariantMap { { QStringLiteral("text"), option.text },
            { QStringLiteral("key"), option.key }, { QStringLiteral("value"), option.value } });
    map.insert(QStringLiteral("options"), options);
    return map;
}

QuestionYesNo::QuestionYesNo(QObject* parent)
    : QuestionBaseWithOptions(QStringLiteral("yesno"), parent)
{
}

QuestionText::QuestionText(QObject* parent)
    : QuestionBase(QStringLiteral("text"), parent)
{
}

QuestionSort::QuestionSort(QObject* parent)
    : QuestionBaseWithOptions(QStringLiteral("sort"), parent)
{
}

QuestionScale::QuestionScale(QObject* parent)
    : QuestionBaseWithOptions(QStringLiteral("scale"), parent)
{
}

QuestionNumeric::QuestionNumeric(QObject* parent)
    : QuestionBase(QStringLiteral("numeric"), parent)
{
}

QuestionMultiChoice::QuestionMultiChoice(QObject* parent)
    : QuestionBaseWithOptions(QStringLiteral("multichoice"), parent)
{
}

QuestionMathFormula::QuestionMathFormula(QObject* parent)
    : QuestionBase(QStringLiteral("mathformula"), parent)
{
}

} // namespace Tessaly
