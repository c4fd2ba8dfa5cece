#pragma once

#include <QtCore/QBitArray>
#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QObject>

#include <mutex>

namespace Taviosystem {

// One device's incoming message while its pieces arrive. Piece i occupies bytes 8*i to 8*i+7
// of the buffer.
struct ResponseAssembly
{
    quint32 messageNumber = 0; // generic mode only
    quint32 countedInPieces = 0; // used as bool: total counts pieces, else bytes
    quint32 total = 0;
    quint32 extra = 0; // third value of a generic header; kept, not interpreted
    quint32 piecesReceived = 0; // distinct pieces stored
    QByteArray buffer;
    QBitArray held; // by piece index: stored
};

// Reassembles the messages devices send through the enhanced transport, one assembly per
// device. Each receive operation returns the whole message when that piece completed it, else
// an empty array (a complete message is never empty). Pieces are kept whole, zero bytes
// included: decoding the text is the receiver's business.
//
// The radio may lose a piece of an async message (the device sends it again later), repeat one,
// or swap two, but all pieces of one message come before the device's next request or its
// acknowledgement of a chunk it did not hold before (an acknowledgement that only repeats an
// earlier one can come at any time). So a message is complete once each of its pieces is in, each
// counted once; a piece past the message's piece count belongs to no message of it; and until the
// device moves on, a piece equal to the one at the same index of the message it completed last is
// a late repeat of that message, not the start of a new one. Generic pieces carry no index: they
// are taken in the order they come.
//
// Runs on the event thread, clear() also on the thread that stops the session. Internally
// locked by a non-recursive mutex; the session handler calls it with its own lock held (handler
// lock first, then this one). There is no time-out: an assembly that never
// completes stays until the device starts another message or clear() is called.
class EnhancedResponseManager : public QObject
{
    Q_OBJECT
public:
    static constexpr int PieceSize = 8; // bytes

    explicit EnhancedResponseManager(QObject* parent = nullptr);
    ~EnhancedResponseManager() override;

    // Async packet 0x87: the first piece, with the message's piece count. An assembly the
    // device already has keeps its pieces below that count (a later piece may have come first).
    QByteArray receiveFirstPiece(quint16 address, quint8 pieceCount, const QByteArray& piece);
    // Async packet 0x88: the piece at `pieceIndex`.
    QByteArray receivePiece(quint16 address, quint8 pieceIndex, const QByteArray& piece);
    // The device sent a request, or acknowledged a chunk it had not reported before: its
    // last message is behind it, and pieces equal to that message's are new again.
    void deviceMovedOn(quint16 address);
    // Generic packet 0x96: starts the device's message afresh, `length` bytes long. A length
    // of 0 never completes.
    void receiveHeader(quint16 address, quint32 messageNumber, quint32 length, quint32 extra);
    // Generic packet 0x92: the next piece, in order of arrival.
    QByteArray receiveNextPiece(quint16 address, const QByteArray& piece);

    void clear();
    bool hasAssembly(quint16 address) const;
    ResponseAssembly assembly(quint16 address) const; // a default one when absent

private:
    // An async message a device completed: its piece count and its pieces.
    struct CompletedMessage
    {
        quint32 pieceCount = 0;
        QByteArray buffer;
    };

    // Caller holds m_mutex.
    QByteArray storePiece(
        quint16 address, ResponseAssembly& assembly, quint32 index, const QByteArray& piece);
    // The device's assembly for an async piece at `index` (a 0x87 piece gives `pieceCount`,
    // else 0); null when the piece repeats the device's last complete message.
    ResponseAssembly* assemblyForPiece(
        quint16 address, quint32 index, quint32 pieceCount, const QByteArray& piece);

    mutable std::mutex m_mutex;
    QHash<quint16, ResponseAssembly> m_assemblies;
    QHash<quint16, CompletedMessage> m_completed; // async, until the device moves on
};

} // namespace Taviosystem
