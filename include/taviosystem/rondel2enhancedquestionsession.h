#pragma once

#include <taviosystem/enhancedquestionsession.h>

#include <QtCore/QList>
#include <QtCore/QVariant>

#include <mutex>

QT_BEGIN_NAMESPACE
class QNetworkReply;
QT_END_NAMESPACE

namespace Tavio {
class Rondel_hub;
} // namespace Tavio

namespace Taviosystem {

class VirtualRondel2Hub;

/*!
    The self-paced test of a classroom-server hub: session parameters, questions and messages
    become the server's remote calls, device requests arrive through the hub's beacon, and each
    answer is rebuilt into the device message the base session decodes, so the host gets the
    same callbacks and signals as on a radio hub. Devices type maths in the first LaTeX dialect.

    Made by VirtualRondel2Hub::enhancedQuestionSession() and owned by the hub. Requests and
    answers are reported on the hub's thread. A question that is refused leaves the device's
    previous question in force.
*/
class TAVIOSYSTEM_EXPORT Rondel2EnhancedQuestionSession : public EnhancedQuestionSession
{
    Q_OBJECT
public:
    /*! Binds the session to \a hub, whose server calls go through \a entity (not owned). */
    Rondel2EnhancedQuestionSession(Hub* hub, Tavio::Rondel_hub* entity);
    ~Rondel2EnhancedQuestionSession() override;

    /*!
        Asks the host for every expression device's parameters (unless the defaults are used),
        then starts the test on all devices. Per-device calls wait until the server has answered
        that start. \return true once posted; the hub's session is then SessionType_Async. False
        with Error_CommsFailure while the server is unreachable. \a simulate is ignored.
    */
    bool startSession(bool simulate) override;
    /*! Sends \a question to device \a uid; false when it is not valid or breaks a limit. */
    bool sendQuestion(quint32 uid, const EnhancedQuestion* question) override;
    /*! Sends the device its test parameters; the mask and last parameter are not sent. */
    bool sendSessionParameters(quint32 uid, int totalQuestions, int startingQuestionNumber,
        bool allowNavigation, const QBitArray& questionMask, int lastParameter) override;
    /*! Review (flag 4) or yes/no (flag 2) prompts go with their meta list; else a pop-up. */
    bool sendMessage(quint32 uid, QFlags<MessageControlFlag> flags, const QString& text) override;
    /*! Shows \a text on device \a uid, dismissable when \a flag is set. \return true. */
    bool sendPopUpMessage(quint32 uid, bool flag, const QString& text) override;
    /*! Shows \a text on device \a uid, not dismissable. \return true. */
    bool sendNoMoreQuestionsNotification(quint32 uid, const QString& text) override;
    /*! \return false: the devices type the first LaTeX dialect. */
    bool useExpressionV2LatexFormat() const override { return false; }

    /*! Reports a device's request for question \a questionNumber to the host. */
    void requestQuestion(quint32 uid, int questionNumber);
    /*! Reports that device \a uid shut down. */
    void notifyDeviceShutdown(quint32 uid);
    /*!
        Turns the server's answer text for device \a uid into the device message of its
        question's kind and hands it to the base session, which reports it.
    */
    void processResponse(Hub* hub, uint uid, QString answer, void* context);
    /*! The device message an answer \a answer to a question of kind \a kind becomes. */
    static QByteArray answerMessage(int kind, const QString& answer);

public Q_SLOTS:
    /*! The server took a device's parameters. */
    void onStartSessionForDevice(QNetworkReply* reply, QVariant result);
    /*! The server started the test: the per-device calls held back go now. */
    void onStartSessionAllDevices(QNetworkReply* reply, QVariant result);
    /*! The server refused the test: logged; held calls are dropped and the session ends. */
    void onStartSessionAllDevicesFailure(QNetworkReply* reply, QVariantMap error);
    /*! Ignores a call's result. */
    void success_log(QNetworkReply* reply, QVariant result);
    /*! Writes a failed call's reply to standard output. */
    void fail_log(QNetworkReply* reply, QVariantMap error);

private:
    friend class VirtualRondel2Hub;
    struct HeldCall
    {
        int method;
        QVariantMap parameters;
        QByteArray successSlot;
    };
    // Posts a per-device call on the hub's thread, or holds it while the start is unanswered.
    void postDeviceCall(int method, const QVariantMap& parameters, const char* successSlot);
    void sessionStopped();
    // Whether an answer naming question `questionId` answers the device's last question.
    bool answersQuestion(quint32 uid, int questionId) const;
    QVariantMap sessionParameters(
        int totalQuestions, int startingQuestionNumber, bool allowNavigation) const;

    VirtualRondel2Hub* m_rondel2Hub;
    Tavio::Rondel_hub* m_entity;
    // The calls held back until the server has started the test on all devices.
    std::mutex m_heldMutex;
    bool m_waitingForStart = false;
    QList<HeldCall> m_held;
};

} // namespace Taviosystem
