#pragma once

#include "enhanced/messagemanager.h"
#include "enhanced/responsemanager.h"

#include <taviosystem/abstractaseventhandler.h>

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QObject>

#include <shared_mutex>

namespace Taviosystem {

struct ApplicationFileInfo;
class TwoPointFourGHzHub;

// Runs the long-message transport of one 2.4 GHz hub: messages the host sends are queued in the
// message manager and announced to the device; the hub then pulls their chunks, devices
// acknowledge what they hold, and pieces of device messages are reassembled and handed to the
// hub for delivery. Owned by the hub.
//
// Threads: start, stop, send and setApplicationFileList come from the host's thread; packets
// arrive as events on the event thread. The mode is read under the read lock for the whole of
// a send or a packet dispatch (hub commands are sent with it held) and written under the write
// lock. Messages for the host are delivered after the lock is released, since the host may
// answer them at once.
class EnhancedSessionHandler : public QObject, public AbstractAsEventHandler
{
    Q_OBJECT
public:
    enum Mode : quint32 { Mode_None = 0, Mode_Async = 1, Mode_Generic = 2 };

    explicit EnhancedSessionHandler(TwoPointFourGHzHub* hub);
    ~EnhancedSessionHandler() override;

    // True when the mode is now `mode`; false when another mode is running.
    virtual bool start(quint32 mode);
    // Queues a message for the device and announces it; false when no mode runs, the message
    // cannot be queued, or the hub does not acknowledge the announcement (the message then stays
    // queued).
    virtual bool send(quint16 address, const QByteArray& data);
    virtual void setApplicationFileList(const QList<ApplicationFileInfo>& files);
    // Back to no mode; every stored message, link, file and partial device message is dropped.
    virtual void stop();
    // Back to no mode, dropping what is in flight: stored messages, links and partial device
    // messages. The session description and the application files the host set stay. For a
    // session the hub ended without a stop, and for a start the hub refused.
    void halt();

    void handleAsEvent(EventType type, const QByteArray& packet) override;

    quint32 mode() const;
    EnhancedMessageManager& messageManager() { return m_messages; }
    EnhancedResponseManager& responseManager() { return m_responses; }

    // ":XP00B" CR 03, address (2), message number (1).
    static QByteArray asyncAnnounceCommand(quint16 address, quint32 number);
    // ":XP00E" CR 05, address (2), message number (3).
    static QByteArray genericAnnounceCommand(quint16 address, quint32 number);

private:
    // What a dispatch hands to the host once the lock is released.
    struct Delivery
    {
        enum Kind { None, GetMessage, Message } kind = None;
        quint16 address = 0;
        QByteArray data;
    };

    // Caller holds the read lock.
    Delivery dispatchAsync(const QByteArray& packet);
    Delivery dispatchGeneric(const QByteArray& packet);
    Delivery dispatchControl(quint16 address, const QByteArray& control);
    void serveChunk(quint32 number);
    bool announce(quint16 address, quint32 number);

    TwoPointFourGHzHub* m_hub;
    EnhancedMessageManager m_messages;
    EnhancedResponseManager m_responses;
    quint32 m_mode = Mode_None;
    mutable std::shared_mutex m_modeLock;
};

} // namespace Taviosystem
