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
    // Offers a packet (packet thread); it is kept only if it is a reply of the handler's class.
    // A handler of list records also takes the packet that ends a list, and keeps its
    // end-of-list packet in its place.
    virtual void processPacket(const QByteArray& packet) = 0;
    // The packet a list reader stops at; empty for a handler of single replies.
    virtual QByteArray endOfList() const = 0;
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

    // listTerminator: the packet the hub sends at the end of a list; endOfList: what the reader
    // is given in its place. Both empty for single replies.
    explicit ResponseHandlerBase(Recogniser recogniser,
        const QByteArray& listTerminator = QByteArray(), const QByteArray& endOfList = QByteArray())
        : m_recogniser(recogniser)
        , m_listTerminator(listTerminator)
        , m_endOfList(endOfList)
    {
    }

    void reset() override;
    bool getNextPacket(QByteArray* packet, int timeoutMs) override;
    void processPacket(const QByteArray& packet) override;
    QByteArray endOfList() const override { return m_endOfList; }

private:
    const Recogniser m_recogniser;
    const QByteArray m_listTerminator;
    const QByteArray m_endOfList;
    TimedMutex m_mutex;
    std::condition_variable_any m_condition;
    std::list<QByteArray> m_packets; // oldest first
};

template <typename T>
class ResponseHandler : public ResponseHandlerBase
{
public:
    ResponseHandler()
        : ResponseHandlerBase(&T::isResponse)
    {
    }
};

// For list records: T also offers static QByteArray endOfListPacket().
template <typename T>
class ListResponseHandler : public ResponseHandlerBase
{
public:
    explicit ListResponseHandler(const QByteArray& listTerminator)
        : ResponseHandlerBase(&T::isResponse, listTerminator, T::endOfListPacket())
    {
    }
};

} // namespace Taviosystem
