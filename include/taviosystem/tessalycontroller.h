#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QString>

class PresenterClient;

namespace Taviosystem {

/*! \class Taviosystem::TessalyController
    \brief The process-wide holder of the cloud classroom client and of the sign-in operations a
    host may call before any cloud hub exists.

    One client is kept per service address; the cloud hub borrows the client of its address.
    Every operation works on the client of the address last given to getPresenter() and answers
    false, or an empty text, when there is none. The blocking calls wait in a local event loop on
    the caller's thread (10000 ms at most by default); call them on the thread that owns the
    system. The clients are freed by deletePresenters(), which TavioSystem::shutdown() calls.
*/
class TAVIOSYSTEM_EXPORT TessalyController : public QObject
{
    Q_OBJECT
public:
    /*! The one controller, made on first use. */
    static TessalyController& instance();

    /*! The client for \a serverUrl: the one already made for that address, else a new one,
        which also becomes the current client. Its version text is set to " 2.%1.%2".
        \return the client, owned by the controller. */
    PresenterClient* getPresenter(const QString& serverUrl);
    /*! Frees the current client (later, in its thread) and forgets the current address. */
    void deletePresenter();
    /*! Frees every client. */
    void deletePresenters();

    /*! Makes \a url the current address and asks its service whether it answers, with the two
        texts \a a and \a b passed on. \return true when it answers. */
    bool checkServer(const QString& url, const QString& a, const QString& b);
    /*! Signs \a user in with \a password. \return true on success. */
    bool doLogin(const QString& user, const QString& password);
    /*! Signs in with a single sign-on assertion \a x. \return true on success. */
    bool doLoginSaml(const QString& x);
    /*! Signs in through an OAuth provider \a a with code \a b; \a out receives the account
        name. \return true on success. */
    bool doLoginWithOAuth(const QString& a, const QString& b, QString& out);
    /*! Signs \a user in with an access \a token issued to this device. \return true on
        success. */
    bool doLoginWithToken(const QString& user, const QString& token);
    /*! An access token for \a user and \a password, issued to this device. \return the token,
        empty on failure. */
    QString doGetAccessToken(const QString& user, const QString& password);
    /*! An access token through an OAuth provider \a a with code \a b, issued to this device;
        \a out receives the account name. \return the token, empty on failure. */
    QString doGetOAuthAccessToken(const QString& a, const QString& b, QString& out);
    /*! The signed-in user's name, empty when no one is signed in. */
    QString doGetUserName();
    /*! Opens the teacher's class session. \return true on success. */
    bool startSession();
    /*! Ends the teacher's class session. \return true on success. */
    bool stopSession();
    /*! Ends the class session, then signs out. \return the sign-out's result (false when no
        one was signed in). */
    bool doLogout();
    /*! Why the last call failed: the service's reason for a refusal, or a text naming the
        service that could not be reached; empty after a success. */
    QString getLastError();

    /*! This device's identity for access tokens: the environment variable "USER", or
        "USERNAME" when that is empty. */
    static QString getDeviceId();
    /*! The same text as getDeviceId(). */
    static QString getDeviceName();

    //! \cond internal
private:
    friend class VirtualTessalyHub;
    TessalyController();
    ~TessalyController() override;
    // Keeps why a call of `client` failed (or nothing after a success); answers `ok`.
    bool note(PresenterClient* client, bool ok);

    QString m_serverUrl;
    QPointer<PresenterClient> m_presenter;
    // One client per address, so that a hub's borrowed client survives a sign-in elsewhere.
    QMap<QString, QPointer<PresenterClient>> m_presenters;
    QString m_lastError;
    //! \endcond
};

} // namespace Taviosystem
