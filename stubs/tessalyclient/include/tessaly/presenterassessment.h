// Self-paced assessments run over a class session's collaboration.
#pragma once

#include "tessalyclient_global.h"
#include "questions.h"

#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>

class PresenterCollab;

/*! Runs one assessment per learner over a collaboration. Learners' requests and answers come
    back through the collaboration's learnerGetQuestion and learnerPollResponse signals. */
class TESSALYCLIENT_EXPORT PresenterAssessment : public QObject
{
    Q_OBJECT
public:
    /*! Makes an assessment runner owned by \a parent over \a collab (not owned; may be null). */
    PresenterAssessment(QObject* parent, PresenterCollab* collab);
    ~PresenterAssessment() override;

    /*! Uses \a collab (not owned) from now on, such as after a reconnection. */
    void setCollaboration(PresenterCollab* collab);
    /*! The collaboration in use, null when none or when it was deleted. */
    PresenterCollab* collaboration() const;

    /*! Starts (or restarts) the assessment of learner \a token with \a options (not owned; may
        be null for defaults). \return true when sent. */
    bool start(QString token, Tessaly::AssessmentOptions* options);
    /*! Ends every learner's assessment. \return true when sent. */
    bool stop();
    /*! Sends \a question (not owned) to learner \a token. \return true when sent. */
    bool sendQuestion(QString token, Tessaly::QuestionBase* question);
    /*! Shows \a text to learner \a token; \a popUp shows it as a pop-up, \a final marks the end
        of the learner's questions. \return true when sent. */
    bool sendMessage(QString token, QString text, bool popUp, bool final);

private:
    QPointer<PresenterCollab> m_collab;
};
