#pragma once

#include <taviosystem/hub.h>

#include <QtCore/QObject>
#include <QtCore/QVariant>

#include <memory>

namespace Taviosystem {

class TavioteResponse;

// A voting session on a hub: the commands that start and stop it and the decoding of votes.
class TavioSession : public QObject
{
    Q_OBJECT
public:
    ~TavioSession() override;
    virtual QByteArray startCommand() const = 0;
    virtual QByteArray stopCommand();
    // Decodes a vote into vote(), deviceNumber() and batteryLow(); false when it cannot.
    virtual bool processVote(const QByteArray& packet) = 0;
    virtual bool isVote(const QByteArray& packet) const = 0;

    int vote() const { return m_vote.toInt(); }
    quint32 deviceNumber() const { return m_deviceNumber; }
    int batteryLow() const { return m_batteryLow.toInt(); }

protected:
    QVariant m_vote;
    quint32 m_deviceNumber = 0;
    QVariant m_batteryLow;
};

class TavioteSession : public TavioSession
{
    Q_OBJECT
public:
    TavioteSession(Hub::Type hubType, Hub::ConnectionType connectionType, Hub::VotingMode mode,
        Hub::VotingCallback callback, void* context);
    ~TavioteSession() override;

    QByteArray startCommand() const override;
    QByteArray stopCommand() override;
    bool processVote(const QByteArray& packet) override;
    bool isVote(const QByteArray& packet) const override;

    Hub::VotingCallback callback() const { return m_callback; }
    void* context() const { return m_context; }

    // The vote for a key byte: 1 to 6 for a single key, 0 for anything else (several keys).
    static int voteFromKey(quint8 key);

private:
    Hub::Type m_hubType;
    Hub::ConnectionType m_connectionType;
    Hub::VotingMode m_votingMode;
    std::unique_ptr<TavioteResponse> m_decoder;
    Hub::VotingCallback m_callback;
    void* m_context;
};

} // namespace Taviosystem
