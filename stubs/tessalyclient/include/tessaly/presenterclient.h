// The presenter's connection to the cloud classroom service: sign-in, the class session, the
// learner list and resource uploads.
//
// Every do... call blocks its caller in a local event loop until the service answers or the
// call's time limit passes (10000 ms unless setTimeoutMs says otherwise). Each call first clears
// the last error. A refusal by the service leaves its reason (never empty) in lastError(); a
// transport failure (no service, a dropped connection, the time limit) leaves lastError() empty,
// so a caller can tell a temporary failure from a refusal.
//
// Threads: a client and the collaboration objects it makes belong to the thread that made the
// client; call them there. Signals of the collaboration may arrive while a blocking call waits.
#pragma once

#include "tessalyclient_global.h"
#include "tessalytypes.h"

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>

#include <memory>

class PresenterCollab;
class PresenterClientPrivate;

/*! The presenter's client for one cloud service address. */
class TESSALYCLIENT_EXPORT PresenterClient : public QObject
{
    Q_OBJECT
public:
    /*! The longest a blocking call waits by default, in milliseconds. */
    static const int DefaultTimeoutMs = 10000;

    /*! Makes a client for the service at \a serverUrl (such as "http://127.0.0.1:8080"),
        owned by \a parent. Nothing is sent until a call is made. */
    PresenterClient(QObject* parent, QString serverUrl);
    ~PresenterClient() override;

    /*! The service address given at construction. */
    QString serverUrl() const;

    /*! Sets the longest wait of each blocking call to \a nMs milliseconds (at least 1). */
    void setTimeoutMs(int nMs);
    /*! The longest wait of each blocking call, in milliseconds. */
    int timeoutMs() const;

    /*! The client's version text, sent with every call; empty until set. */
    QString version() const;
    /*! Sets the version text sent with every call to \a version. */
    void setVersion(const QString& version);

    /*! Asks the service at \a url (empty: this client's address) whether it answers, presenting
        \a key. \return true when it answers and accepts the key. */
    bool checkServer(const QString& url, const QString& key);

    /*! Signs \a user in with \a password. \return true on success. */
    bool doLogin(const QString& user, const QString& password);
    /*! Signs \a user in with an access \a token obtained earlier for \a deviceId.
        \return true on success. */
    bool doLogin(const QString& user, const QString& token, const QString& deviceId);
    /*! Signs in with a single sign-on \a assertion. \return true on success. */
    bool doLoginSaml(const QString& assertion);
    /*! Signs in with an OAuth \a provider and \a code; \a out receives the provider's account
        name. \return true on success. */
    bool doLoginWithOAuth(const QString& provider, const QString& code, QString& out);
    /*! Signs out (ending the class session first). \return true on success; false when no one
        is signed in. */
    bool doLogout();

    /*! Obtains an access token for \a user with \a password, for the device \a deviceId named
        \a deviceName. \return the token, empty on failure. */
    QString doGetAccessToken(const QString& user, const QString& password, const QString& deviceId,
        const QString& deviceName);
    /*! Obtains an access token through an OAuth \a provider and \a code; \a out receives the
        account name. \return the token, empty on failure. */
    QString doGetOAuthAccessToken(const QString& provider, const QString& code,
        const QString& deviceId, const QString& deviceName, QString& out);

    /*! The signed-in user's name; empty when no one is signed in. Sends nothing. */
    QString doGetUserName();

    /*! Opens the teacher's class session (\a lessonId may be null). \return true on success;
        sessionCode() then gives the class code. */
    bool doStartSession(const QString& lessonId);
    /*! Ends the class session and closes the collaboration socket. \return true on success. */
    bool doStopSession();

    /*! Opens the collaboration socket of the running class session and hands the live
        collaboration object to \a out. The object is owned by this client; a later
        startWebsocket, doStopSession or doLogout closes it and deletes it later, so keep it in a
        guarded pointer. \return true once the socket is open. */
    bool startWebsocket(PresenterCollab** out);
    /*! The collaboration object of the last startWebsocket, or null. */
    PresenterCollab* collaboration() const;

    /*! Fetches the learners already in the session; each arrives as the collaboration's
        learnerJoin, emitted before this returns. \return true when fetched. */
    bool doGetLearners();

    /*! Uploads \a data as a resource named \a name. \a id (may be null) receives the
        resource's identifier and \a url (may be null) its address. \return true on success. */
    bool doUploadResource(const QString& name, const QByteArray& data, QString* id, QString* url);

    /*! The error text of the last call: empty after a success or a transport failure, the
        service's reason after a refusal. */
    QString lastError() const;
    /*! Same as lastError(). */
    QString getLastError() const;
    /*! The class code of the running session ("TS" and three digits), null without one. */
    QString sessionCode() const;
    /*! Same as sessionCode(). */
    QString getSessionCode() const;
    /*! True while someone is signed in. */
    bool isLoggedIn() const;

private:
    friend class PresenterClientPrivate;
    std::unique_ptr<PresenterClientPrivate> d;
};
