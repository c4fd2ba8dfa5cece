// The live collaboration of a class session: a WebSocket to the cloud service that carries polls
// and presenter state out and learners' events in.
//
// Frames from the service are decoded by Tessaly::decodeCollabFrame (collabframe.h); malformed
// frames are dropped, and a frame longer than maxFrameSize() closes the socket.
#pragma once

#include "tessalyclient_global.h"
#include "tessalytypes.h"

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QUrl>
#include <QtCore/QVariantMap>

#include <memory>

class PresenterCollabPrivate;

/*! The presenter's side of a class session's collaboration socket. Made by
    PresenterClient::startWebsocket; signals are emitted on the client's thread. */
class TESSALYCLIENT_EXPORT PresenterCollab : public QObject
{
    Q_OBJECT
public:
    /*! The longest frame accepted from the service, in bytes; a longer one closes the socket. */
    static const int DefaultMaxFrameSize = 1024 * 1024;

    /*! Makes a collaboration owned by \a parent; nothing is opened until open() is called. */
    explicit PresenterCollab(QObject* parent = nullptr);
    ~PresenterCollab() override;

    /*! Opens the socket to \a url and waits at most \a nTimeoutMs milliseconds.
        \return true once open. */
    bool open(const QUrl& url, int nTimeoutMs);
    /*! Closes the socket; connectionClosed() follows if it was open. */
    void close();
    /*! True while the socket is open. */
    bool isConnected() const;
    /*! True when the service ended the class session (its last frame before closing). */
    bool sessionEndedByService() const;

    /*! The longest accepted frame, in bytes. */
    int maxFrameSize() const;
    /*! Sets the longest accepted frame to \a nBytes. */
    void setMaxFrameSize(int nBytes);

    /*! Starts a poll of kind \a pollType labelled \a ordinalType with \a optionCount options and
        at most \a maxAnswers answers per learner. The image fields, when set, go with it.
        \return true when sent. */
    bool startPoll(Tessaly::PollType::POLL_TYPE pollType,
        Tessaly::OrdinalType::ORDINAL_TYPE ordinalType, int optionCount, int maxAnswers);
    /*! Ends the running poll. \return true when sent. */
    bool stopPoll();
    /*! Pauses the running poll. \return true when sent. */
    bool pausePoll();
    /*! Resumes a paused poll. \return true when sent. */
    bool resumePoll();
    /*! The identifier of the last poll started, empty before any. */
    QString currentPollId() const;

    /*! Removes the learner with user token \a token from the session. \return true when sent. */
    bool removeLearner(const QString& token);
    /*! Publishes a collaboration message of \a type to \a target carrying \a data.
        \return true when sent. */
    bool publishMessage(const QString& type, const QString& target, const QString& data);
    /*! Tells the teacher's other devices that the presenter is active. \return true when sent. */
    bool sendPresenterIsActiveToRemote();
    /*! Tells the teacher's other devices which lesson is shown. \return true when sent. */
    bool sendCurrentLessonToRemote(const QString& lessonId, const QString& name);
    /*! Tells the teacher's other devices which card is shown. \return true when sent. */
    bool sendCurrentCardToRemote(int current, int total);
    /*! Shows (\a show true) or hides the image card on the learners' screens, with imageUrl
        when set, else imageData. \return true when sent. */
    bool showImageCard(bool show);

    /*! Sends a raw JSON object to the service (used by assessments). \return true when sent. */
    bool sendJson(const QVariantMap& message);

    /*! The image bytes sent inline with the next image card or poll (cleared by setting
        imageUrl). */
    QByteArray imageData;
    /*! The address of an uploaded image for the next image card or poll (wins over imageData). */
    QString imageUrl;

signals:
    /*! The socket closed (by either side, or after an oversize frame). */
    void connectionClosed();
    /*! The service saw no presenter activity for \a ms milliseconds. */
    void inactivityTimeMs(qint64 ms);
    /*! A learner joined (or rejoined) the session. */
    void learnerJoin(Tessaly::Learner learner);
    /*! The learner with user token \a userToken left the session. */
    void learnerUnregister(QString userToken);
    /*! A remote controller registered (\a registered true) or went away. */
    void controllerRegister(bool registered);
    /*! A learner answered poll \a pollId after \a responseTime milliseconds. */
    void learnerPollResponse(QString userToken, QString pollId, int responseTime, QString response);
    /*! A remote-control message arrived. */
    void remoteControl(RemoteControlMessage message);
    /*! A well-formed frame of a kind this client does not handle: the whole frame and its
        "data" member. */
    void unhandledMessage(QVariantMap jsonMessage, QVariant data);
    /*! A collaboration message published by another participant. */
    void collaborationMessage(QVariantMap jsonMessage, QVariant data);
    /*! Learner \a userToken asks for question \a questionNumber of its assessment. */
    void learnerGetQuestion(QString userToken, int questionNumber);

private:
    friend class PresenterCollabPrivate;
    std::unique_ptr<PresenterCollabPrivate> d;
};
