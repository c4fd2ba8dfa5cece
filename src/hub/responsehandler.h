#pragma once

#include "hubresponse.h"

#include <QtCore/QByteArray>
#include "platform/timedmutex.h"

#include <condition_variable>
#include <list>

namespace Taviosystem {

// Collects the replies of one reply class for a waiting exchange.
class IResponseHandler
{
public:
    virtual ~IResponseHandler() = default;
    // Forgets every packet already collected.
    virtual void reset() = 0;
    // Waits up to timeoutMs milliseconds for a collected packet and hands out the oldest.
    virtual bool getNextPacket(QByteArray* packet, int timeoutMs) = 0;
    // Offers a packet (packet thread); it is kept only if it is a reply of the handler's class
    // or equals the end marker of a multi-packet exchange.
    virtual void processPacket(const QByteArray& packet) = 0;
    // The end-of-list packet of the exchange in progress; empty when none.
    virtual void setEndMarker(const QByteArray& marker) = 0;
};

// The waiting machinery, shared by every reply class; only the recognition test differs.
class ResponseHandlerBase : public IResponseHandler
{
public:
    typedef bool (*Recogniser)(const QByteArray&);

    // Milliseconds a handler waits for its own mutex before giving up.
    static constexpr int MutexTryLockTime = 10000;
    // Packets kept at most; a flood of unclaimed replies cannot grow memory without bound.
    static constexpr int MaximumCollectedPackets = 4096;

    explicit ResponseHandlerBase(Recogniser recogniser)
        : m_recogniser(recogniser)
    {
    }

    void reset() override;
    bool getNextPacket(QByteArray* packet, int timeoutMs) override;
    void processPacket(const QByteArray& packet) override;
    void setEndMarker(const QByteArray& marker) override;

private:
    const Recogniser m_recogniser;
    TimedMutex m_mutex;
    std::condition_variable_any m_condition;
    std::list<QByteArray> m_packets; // oldest first
    QByteArray m_endMarker;
};

template <typename T> class ResponseHandler : public ResponseHandlerBase
{
public:
    ResponseHandler()
        : ResponseHandlerBase(&T::isResponse)
    {
    }
};

} // namespace Taviosystem
