#pragma once

#include <taviosystem/enhancedquestionsession.h>

#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QMetaObject>
#include <QtCore/QPointer>
#include <QtCore/QString>

class PresenterAssessment;
class PresenterCollab;

namespace Tessaly {
class AssessmentOptions;
class QuestionBase;
} // namespace Tessaly

namespace Taviosystem {

class VirtualTessalyHub;

/*! \class Taviosystem::TessalyEnhancedQuestionSession
    \brief The self-paced test of EnhancedQuestionSession run over a cloud class: each learner
    gets an assessment, questions become cloud questions, and learners' requests and answers
    reach the host through the same callbacks and signals as on a radio hub.

    Made by VirtualTessalyHub::enhancedQuestionSession() and owned by the hub. Unlike the radio
    hub's session it is deleted (later, in the hub's thread) when it stops; ask the hub for a new
    one for the next test. Its devices type the first LaTeX dialect.

    Threads: everything runs on the hub's thread, callbacks and signals included.
*/
class TAVIOSYSTEM_EXPORT TessalyEnhancedQuestionSession : public EnhancedQuestionSession
{
    Q_OBJECT
public:
    //! Where maths starts in a cloud text.
    static const char* const LatexStartMarker;
    //! Where maths ends in a cloud text.
    static const char* const LatexEndMarker;

    /*! Makes the session of \a hub over its class connection \a collab. */
    TessalyEnhancedQuestionSession(Hub* hub, PresenterCollab* collab);
    ~TessalyEnhancedQuestionSession() override;

    /*! Starts the test: with default parameters every learner's assessment starts with them;
        without, the host is asked for each device's parameters. \return false when the hub
        cannot run it (its last error tells why). */
    bool startSession(bool simulate) override;
    /*! Sends \a question to device \a uid. \return the client's result; false for a question
        that is not valid or a device without a learner. */
    bool sendQuestion(quint32 uid, const EnhancedQuestion* question) override;
    /*! Starts (again) the assessment of device \a uid with \a totalQuestions questions and the
        navigation flag; the mask and last parameter are not used. \return the client's
        result. */
    bool sendSessionParameters(quint32 uid, int totalQuestions, int startingQuestionNumber,
        bool allowNavigation, const QBitArray& questionMask, int lastParameter) override;
    /*! Shows \a text on device \a uid: review-answers and yes/no flags as a final message, else
        as a pop-up. \return true. */
    bool sendMessage(quint32 uid, QFlags<MessageControlFlag> flags, const QString& text) override;
    /*! Shows \a text as a pop-up on device \a uid. \return true. */
    bool sendPopUpMessage(quint32 uid, bool flag, const QString& text) override;
    /*! Tells device \a uid that no questions are left, with \a text. \return true. */
    bool sendNoMoreQuestionsNotification(quint32 uid, const QString& text) override;
    /*! False: cloud learners type the first LaTeX dialect. */
    bool useExpressionV2LatexFormat() const override;

    /*! The learner token of device serial \a serial, empty when unknown. */
    QString getTokenForSerial(uint serial) const;
    /*! Ends every learner's assessment. */
    void stopTessalyAssessment();
    /*! Turns a learner's \a answer to the question last sent to device \a serial into the
        device message the base class decodes, and reports it. Runs on the hub's thread. */
    void processResponse(Hub* hub, uint serial, QString answer, void* context);
    /*! Uses \a collab from now on (after a reconnection). */
    void rebind(PresenterCollab* collab);

    /*! Makes in \a message the device message of an \a answer to a question of \a kind
        (EnhancedQuestion::Type). \return false for an answer that fits no option. */
    static bool responseMessage(int kind, const QString& answer, QByteArray& message);
    /*! Replaces "<LaTeX>" and "</LaTeX>" by the cloud markers in \a text. */
    static void convertToTessalyLatex(QString& text);
    /*! The maths between the cloud markers of \a text, or \a text unchanged. */
    static QString extractTessalyLatex(QString& text);
    /*! \a text wrapped in the cloud markers unless it holds a start marker or "<math".
        \return the result, also left in \a text. */
    static QString encodeAsTessalyLatex(QString& text);

    //! \cond internal
private Q_SLOTS:
    void onlearnerGetQuestion(QString token, int questionNumber);
    void onLearnerUnregister(QString token);

private:
    void onLearnerJoin(const QString& token);
    void connectCollaboration(PresenterCollab* collab);
    quint32 serialOf(const QString& token) const;
    Tessaly::QuestionBase* makeQuestion(const EnhancedQuestion& question);
    bool startAssessment(const QString& token, Tessaly::AssessmentOptions* options);
    Tessaly::AssessmentOptions* defaultOptions();

    VirtualTessalyHub* m_tessalyHub;
    PresenterAssessment* m_assessment;
    QMap<QString, Tessaly::AssessmentOptions*> m_pendingAssessments; // children of the session
    QList<QMetaObject::Connection> m_connections;
    //! \endcond
};

} // namespace Taviosystem
