#pragma once

#include <QtCore/QBitArray>
#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QList>
#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QVector>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace Taviosystem {

struct ApplicationFileInfo;

// One outgoing message of the enhanced transport, cut into chunks and possibly shared by several
// devices. Each receiving device has its own bitmap of the chunks it holds; the message also
// counts, per chunk, how many receivers hold it, so that picking the next chunk to send does not
// look at every device.
class EnhancedMessage
{
public:
    static constexpr quint16 NoChunk = 0xFFFF; // current chunk index before the first is served

    EnhancedMessage(quint32 number, const QByteArray& data, int chunkSize);
    static QByteArray digestOf(const QByteArray& data); // SHA-1

    quint32 number() const { return m_number; }
    const QList<QByteArray>& chunks() const { return m_chunks; }
    int chunkCount() const { return int(m_chunks.size()); }
    const QByteArray& digest() const { return m_digest; } // SHA-1 of the unchunked message
    quint16 currentChunkIndex() const { return m_currentChunk; }
    bool isDone() const { return m_done; }
    void setDone(bool done) { m_done = done; }

    int receiverCount() const { return int(m_receivers.size()); }
    bool hasReceiver(quint16 address) const { return m_receivers.count(address) != 0; }
    QList<quint16> receivers() const; // ascending addresses
    // The device's bitmap (one bit per chunk, true when held); empty for a non-receiver.
    QBitArray receiverBitmap(quint16 address) const;
    // Gives the device a bitmap with every chunk missing, replacing an older one.
    void addReceiver(quint16 address);
    void removeReceiver(quint16 address);
    // Records whether a receiver holds a chunk; ignored for non-receivers and bad indices.
    void setChunkHeld(quint16 address, int index, bool held);
    // Moves the current chunk index cyclically to the next chunk some receiver still lacks, or,
    // when every receiver holds every chunk, back to where it was. False when the index then
    // names no chunk (nothing was ever served and nothing is missing).
    bool advanceChunkIndex();

private:
    quint32 m_number;
    QList<QByteArray> m_chunks;
    std::map<quint16, QBitArray> m_receivers;
    QVector<int> m_holders; // per chunk: how many receivers hold it
    quint16 m_currentChunk = NoChunk;
    QByteArray m_digest;
    bool m_done = false;
};

// One chunk picked for sending: what the chunk commands carry.
struct EnhancedChunk
{
    quint32 messageNumber = 0;
    quint16 index = 0; // 0-based
    int count = 0; // chunks in the message
    QByteArray bytes;
};

// The store of outgoing messages of one hub's enhanced transport: messages by number, the
// current message of every device, round-robin chunk serving and the devices'
// acknowledgements. Identical bytes queued with number 0 share one stored message.
//
// Internally locked by a recursive mutex, so that any thread may call it: queueing comes from
// the host's thread, the packet operations (serveChunk, acknowledge, release) from the event
// thread. The session handler calls it with its own lock held (handler lock first, then this).
// Nothing here sends: a served chunk comes back as the exact command bytes for the caller to send.
// Each packet costs map look-ups by number or address only, never a walk over the stored messages.
class EnhancedMessageManager : public QObject
{
    Q_OBJECT
public:
    static constexpr int AsyncChunkSize = 49;
    static constexpr int GenericChunkSize = 50;
    static constexpr quint32 NumberWidth_Async = 1; // bytes
    static constexpr quint32 NumberWidth_Generic = 3; // bytes
    // The largest chunk count a message may have: chunk indices are 16 bits wide, with 0xFFFF
    // reserved for "none served yet".
    static constexpr int MaximumChunkCount = EnhancedMessage::NoChunk;

    explicit EnhancedMessageManager(QObject* parent = nullptr);
    ~EnhancedMessageManager() override;

    // Forgets every message, device link and application file; width 3; the session message
    // becomes defaultSessionMessage() and gets a fresh number (1 after a reset).
    void reset();
    // Forgets every message and device link and starts numbering afresh; the application files,
    // the session description and its number stay (numbers they hold are not handed out).
    void dropMessages();
    void setNumberWidth(quint32 bytes);
    quint32 numberWidth() const;

    // Makes `data` the device's current outgoing message, cut into chunks of `chunkSize` bytes.
    // `number` 0 shares a stored message with the same bytes or allocates a fresh number; any
    // other number names the message (a stored one with that number is used as it is). On
    // success `number` holds the message's number. Fails on empty data, address 0, a message
    // of more than MaximumChunkCount chunks, or when no number is free.
    bool queueMessage(quint16 address, quint32& number, const QByteArray& data, int chunkSize);

    // A chunk request from the hub (0 = any message): the next chunk some receiver lacks. Empty
    // when nothing is to be sent. The command is ":XP00C" in the one-byte width, else ":XP00F".
    QByteArray serveChunk(quint32 number);
    // The same choice, as the chunk itself; false when nothing is to be sent.
    bool pickChunk(quint32 number, EnhancedChunk& chunk);

    // A device's acknowledgement of its current message (ignored after the message replaced
    // another, until a chunk of it has been served): from chunk `startChunk` on, one bit per chunk,
    // least significant first in each byte (7 bytes, 56 chunks). In a message of at least 56 chunks
    // indices past the end wrap to the start once. True when it reports a chunk the device was not
    // known to hold: the device is taking in something new, not repeating an old report.
    bool acknowledge(quint16 address, quint16 startChunk, const QByteArray& bitmap);

    // Address not 0: the device lets go of its current message, which must have `number`
    // (0 = whatever it is); a message nobody receives any more is deleted. Address 0: the hub
    // is done with message `number`; it stays stored, unpicked, until its number is reused.
    void release(quint16 address, quint32 number);

    // The session description a device is sent until the host lists application files: the XML
    // type byte and an empty session document.
    static QByteArray defaultSessionMessage();
    // Replaces the application files and the session description that lists them, as one step:
    // the files are numbered afresh, and so is the description, so that a device never gets
    // an older stored copy of either under its new number. A file's stored content is its type
    // byte followed by its bytes; files of unknown types are stored but not listed.
    void setApplicationFileList(const QList<ApplicationFileInfo>& files);
    // The type's code in the session description; empty for a type that is not listed.
    static QString applicationFileTypeCode(int fileType);

    void setApplicationFiles(const QMap<quint32, QByteArray>& files);
    std::optional<QByteArray> applicationFile(quint32 fileNumber) const;
    void setSessionMessage(const QByteArray& message);
    QByteArray sessionMessage() const;
    quint32 sessionMessageNumber() const;

    // Read-only views, for the handler and for tests.
    quint32 linkedMessageNumber(quint16 address) const; // 0 when the device has none
    std::optional<EnhancedMessage> message(quint32 number) const;
    int messageCount() const;
    quint32 lastPickedNumber() const;

    static QByteArray asyncChunkCommand(const EnhancedChunk& chunk);
    static QByteArray genericChunkCommand(const EnhancedChunk& chunk);

    // The number allocation walk: from `last`, advance until `isFree(n)` holds for a non-zero n
    // that fits in `widthBytes`, wrapping past the largest such number to 1; the starting number
    // itself is tried last. 0 when none is free.
    template <typename IsFree>
    static quint32 nextMessageNumber(quint32 last, quint32 widthBytes, IsFree isFree)
    {
        const quint32 largest = widthBytes >= 4 ? 0xFFFFFFFFu : (1u << (8 * widthBytes)) - 1;
        const quint32 start = last > largest ? 0 : last;
        quint32 n = start;
        do {
            n = n >= largest ? 0 : n + 1;
            if (n != 0 && isFree(n))
                return n;
        } while (n != start);
        return 0;
    }

private:
    quint32 allocateMessageNumber();
    void deleteMessage(quint32 number);
    void setDone(EnhancedMessage& message, bool done);

    mutable std::recursive_mutex m_mutex;
    quint32 m_lastAllocated = 0;
    QMap<quint32, QByteArray> m_applicationFiles; // file number -> type byte + file bytes
    QHash<quint16, quint32> m_deviceLinks; // device address -> current message number
    std::map<quint32, std::unique_ptr<EnhancedMessage>> m_messages;
    quint32 m_lastPicked = 0;
    quint32 m_sessionMessageNumber = 0;
    QByteArray m_sessionMessage;
    quint32 m_numberWidth = NumberWidth_Generic;

    // Indices over m_messages, so that no packet walks the store.
    std::set<quint32> m_pending; // numbers of the messages that are not done
    // Devices given a new message in place of their current one, whose acknowledgements are
    // ignored until a chunk of the new message has gone out (see queueMessage).
    std::set<quint16> m_awaitingFirstChunk;
    std::map<QByteArray, std::set<quint32>> m_byDigest; // digest -> numbers with those bytes
};

} // namespace Taviosystem
