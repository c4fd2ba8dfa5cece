#pragma once

#include "hub/hubresponse.h"

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QMap>
#include <QtCore/QObject>

#include <functional>
#include <mutex>

namespace Taviosystem {

// Reassembles the long answers of numeric and text questions: each device sends its answer as
// 12-byte packets (0C 83, address, sequence number, then text bytes). The first packet
// (sequence 0) carries a number byte, the answer's length in bytes and 5 text bytes; every
// later one 7 text bytes. An answer is complete when all its bytes came; one that stops coming
// is delivered incomplete after the completion time-out.
//
// Threads: packets come in on the packet thread; the time-outs run on the thread that owns the
// collector (its timers are started and stopped there through a queued signal). The completion
// handler is called with no lock held, on whichever of the two threads completed the answer.
class SessionBufferCollector : public QObject, public HubResponse
{
    Q_OBJECT
public:
    typedef std::function<void(quint16 address, quint8 number, const QString& text, bool complete)>
        CompletionHandler;

    static constexpr int PacketLength = 12;
    static constexpr char Kind = char(0x83);
    static constexpr int CompletionTimeout = 5000; // milliseconds after the last packet
    static constexpr int TimerMode_Start = 4000;
    static constexpr int TimerMode_Stop = 4001;

    SessionBufferCollector(CompletionHandler handler, int completionTimeoutMs = CompletionTimeout,
        QObject* parent = nullptr);
    ~SessionBufferCollector() override;

    static bool isResponse(const QByteArray& packet);
    // Runs on the packet thread.
    void processPacket(const QByteArray& packet);

Q_SIGNALS:
    void Timer(int timerMode, quint16 nDeviceAddress);

private Q_SLOTS:
    void handleTimer(int timerMode, quint16 nDeviceAddress);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    struct CollectorEntry
    {
        quint16 address = 0;
        quint8 number = 0;
        quint32 expected = 0;
        quint32 received = 0;
        QMap<quint8, QByteArray> pieces;
        int timerId = 0;
    };

    static QString joined(const CollectorEntry& entry);

    CompletionHandler m_handler;
    const int m_completionTimeoutMs;
    std::mutex m_mutex;
    QHash<quint16, CollectorEntry> m_entries;
    QHash<int, quint16> m_timers; // timer id -> address
};

} // namespace Taviosystem
