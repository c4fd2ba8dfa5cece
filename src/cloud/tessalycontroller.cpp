#include <taviosystem/tessalycontroller.h>

#include "tessalyclient.h"

#include <QtCore/QThread>

namespace Taviosystem {

namespace {
// The version text handed to every client: the major version written in base 16, two
// characters wide and padded with a blank, as the first of three placeholders.
const int ClientMajorVersion = 2;
const int ClientVersionWidth = 2;
const int ClientVersionBase = 16;

QString clientVersionText()
{
    return QStringLiteral("%0.%1.%2")
        .arg(ClientMajorVersion, ClientVersionWidth, ClientVersionBase, QLatin1Char(' '));
}
} // namespace

TessalyController& TessalyController::instance()
{
    static TessalyController controller;
    return controller;
}

TessalyController::TessalyController() = default;

TessalyController::~TessalyController()
{
    // Clients made in another thread are not children; free them with the rest.
    for (const QPointer<PresenterClient>& client : std::as_const(m_presenters))
        delete client.data();
}

PresenterClient* TessalyController::getPresenter(const QString& serverUrl)
{
    if (serverUrl == m_serverUrl && m_presenter)
        return m_presenter;
    m_serverUrl = serverUrl;
    PresenterClient* client = m_presenters.value(serverUrl);
    if (!client) {
        // A client belongs to the thread that uses it; the controller may have been made in
        // another one, and then cannot be its parent.
        client
            = new PresenterClient(QThread::currentThread() == thread() ? this : nullptr, serverUrl);
        m_presenters.insert(serverUrl, client);
    }
    client->setVersion(clientVersionText());
    m_presenter = client;
    return client;
}

void TessalyController::deletePresenter()
{
    if (m_presenter) {
        m_presenters.remove(m_presenter->serverUrl());
        m_presenter->deleteLater();
    }
    m_presenter = nullptr;
    m_serverUrl.clear();
}

void TessalyController::deletePresenters()
{
    for (const QPointer<PresenterClient>& client : std::as_const(m_presenters)) {
        if (!client)
            continue;
        // At once where possible: the system is shutting down and may not run its loop again.
        if (client->thread() == QThread::currentThread())
            delete client.data();
        else
            client->deleteLater();
    }
    m_presenters.clear();
    m_presenter = nullptr;
    m_serverUrl.clear();
}

bool TessalyController::checkServer(const QString& url, const QString& a, const QString& b)
{
    Q_UNUSED(a);
    PresenterClient* client = getPresenter(url);
    return client && note(client, client->checkServer(a, b));
}

bool TessalyController::doLogin(const QString& user, const QString& password)
{
    return m_presenter && note(m_presenter, m_presenter->doLogin(user, password));
}

bool TessalyController::doLoginSaml(const QString& x)
{
    return m_presenter && note(m_presenter, m_presenter->doLoginSaml(x));
}

bool TessalyController::doLoginWithOAuth(const QString& a, const QString& b, QString& out)
{
    return m_presenter && note(m_presenter, m_presenter->doLoginWithOAuth(a, b, out));
}

bool TessalyController::doLoginWithToken(const QString& user, const QString& token)
{
    return m_presenter && note(m_presenter, m_presenter->doLogin(user, token, getDeviceId()));
}

QString TessalyController::doGetAccessToken(const QString& user, const QString& password)
{
    if (!m_presenter)
        return QString();
    const QString token
        = m_presenter->doGetAccessToken(user, password, getDeviceId(), getDeviceName());
    note(m_presenter, !token.isEmpty());
    return token;
}

QString TessalyController::doGetOAuthAccessToken(const QString& a, const QString& b, QString& out)
{
    if (!m_presenter)
        return QString();
    const QString token
        = m_presenter->doGetOAuthAccessToken(a, b, getDeviceId(), getDeviceName(), out);
    note(m_presenter, !token.isEmpty());
    return token;
}

QString TessalyController::doGetUserName()
{
    return m_presenter ? m_presenter->doGetUserName() : QString();
}

bool TessalyController::startSession()
{
    return m_presenter && note(m_presenter, m_presenter->doStartSession(QString()));
}

bool TessalyController::stopSession()
{
    return m_presenter && note(m_presenter, m_presenter->doStopSession());
}

bool TessalyController::doLogout()
{
    if (!m_presenter)
        return false;
    m_presenter->doStopSession();
    return note(m_presenter, m_presenter->doLogout());
}

QString TessalyController::getLastError() { return m_lastError; }

bool TessalyController::note(PresenterClient* client, bool ok)
{
    if (ok) {
        m_lastError.clear();
        return true;
    }
    m_lastError = client ? client->getLastError() : QString();
    // The client leaves its text empty when the service did not answer at all.
    if (m_lastError.isEmpty())
        m_lastError = QStringLiteral("The cloud service at %1 could not be reached")
                          .arg(client ? client->serverUrl() : m_serverUrl);
    return false;
}

QString TessalyController::getDeviceId()
{
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? qEnvironmentVariable("USERNAME") : user;
}

QString TessalyController::getDeviceName() { return getDeviceId(); }

} // namespace Taviosystem
