// Assessment options and the question objects an assessment sends to learners.
#pragma once

#include "tessalyclient_global.h"

#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QVariantMap>

namespace Tessaly {

/*! What a learner's self-paced assessment allows. */
class TESSALYCLIENT_EXPORT AssessmentOptions : public QObject
{
    Q_OBJECT
public:
    /*! Makes default options (no navigation, no questions) owned by \a parent. */
    explicit AssessmentOptions(QObject* parent = nullptr);

    bool allowNavigation = false; //!< The learner may move between questions.
    bool allowBackNavigation = false; //!< The learner may go back to earlier questions.
    int questionCount = 0; //!< How many questions the assessment has.
    int startingQuestion = 1; //!< The number of the first question.

    /*! The options as the JSON object sent to the service. */
    QVariantMap toVariantMap() const;
};

/*! A question of an assessment. The kinds are the subclasses. */
class TESSALYCLIENT_EXPORT QuestionBase : public QObject
{
    Q_OBJECT
public:
    ~QuestionBase() override;

    /*! The kind as the service names it ("yesno", "text", "sort", "scale", "numeric",
        "multichoice", "mathformula"). */
    QString kind() const;

    int number = 0; //!< The question's number in the assessment.
    QString text; //!< The question text; maths in the embedded LaTeX span.
    bool showNumber = true; //!< Whether learners see the number.
    int maxAnswers = 1; //!< How many options a learner may pick (option kinds).
    int maxLength = 0; //!< The longest answer in characters (0: no limit).
    QString correctAnswer; //!< The expected answer, empty when none.
    QString displayLabels; //!< How options are labelled ("digits", "lower", "upper" or empty).

    /*! The question as the JSON object sent to the service. */
    virtual QVariantMap toVariantMap() const;

protected:
    QuestionBase(const QString& kind, QObject* parent);

private:
    QString m_kind;
};

/*! One option of a question with options. */
struct TESSALYCLIENT_EXPORT ActivityOption
{
    QString text; //!< What the learner sees.
    QString key; //!< The option's key.
    int value = 0; //!< The option's number.
};

/*! A question whose learners pick among options. */
class TESSALYCLIENT_EXPORT QuestionBaseWithOptions : public QuestionBase
{
    Q_OBJECT
public:
    /*! Appends the option \a text with key \a key and number \a value. */
    void addActivityOption(QString text, QString key, int value);
    /*! The options in the order added. */
    QList<ActivityOption> activityOptions() const;

    QVariantMap toVariantMap() const override;

protected:
    QuestionBaseWithOptions(const QString& kind, QObject* parent);

private:
    QList<ActivityOption> m_options;
};

/*! A yes/no (or true/false) question; its options are added by the caller. */
class TESSALYCLIENT_EXPORT QuestionYesNo : public QuestionBaseWithOptions
{
    Q_OBJECT
public:
    /*! Makes the question owned by \a parent. */
    explicit QuestionYesNo(QObject* parent = nullptr);
};

/*! A free-text question. */
class TESSALYCLIENT_EXPORT QuestionText : public QuestionBase
{
    Q_OBJECT
public:
    /*! Makes the question owned by \a parent. */
    explicit QuestionText(QObject* parent = nullptr);
};

/*! A put-in-order question; its options are the items. */
class TESSALYCLIENT_EXPORT QuestionSort : public QuestionBaseWithOptions
{
    Q_OBJECT
public:
    /*! Makes the question owned by \a parent. */
    explicit QuestionSort(QObject* parent = nullptr);
};

/*! A scale question; its options are the scale values. */
class TESSALYCLIENT_EXPORT QuestionScale : public QuestionBaseWithOptions
{
    Q_OBJECT
public:
    /*! Makes the question owned by \a parent. */
    explicit QuestionScale(QObject* parent = nullptr);
};

/*! A number-answer question. */
class TESSALYCLIENT_EXPORT QuestionNumeric : public QuestionBase
{
    Q_OBJECT
public:
    /*! Makes the question owned by \a parent. */
    explicit QuestionNumeric(QObject* parent = nullptr);
};

/*! A multiple-choice question. */
class TESSALYCLIENT_EXPORT QuestionMultiChoice : public QuestionBaseWithOptions
{
    Q_OBJECT
public:
    /*! Makes the question owned by \a parent. */
    explicit QuestionMultiChoice(QObject* parent = nullptr);
};

/*! A question answered with a maths formula. */
class TESSALYCLIENT_EXPORT QuestionMathFormula : public QuestionBase
{
    Q_OBJECT
public:
    /*! Makes the question owned by \a parent. */
    explicit QuestionMathFormula(QObject* parent = nullptr);
};

} // namespace Tessaly
