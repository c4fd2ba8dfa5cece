#pragma once

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
    quint32 piecesReceived = 0;
    QByteArray buffer;
};

// Reassembles the messages devices send through the enhanced transport, one assembly per
// device. Each receive operation returns the whole message when that piece completed it, else
// an empty array (a complete message is never empty). Pieces are kept whole, zero bytes
// included: decoding the text is the receiver's business.
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
    // device already has keeps its pieces (a later piece may have come first).
    QByteArray receiveFirstPiece(quint16 address, quint8 pieceCount, const QByteArray& piece);
    // Async packet 0x88: the piece at `pieceIndex`.
    QByteArray receivePiece(quint16 address, quint8 pieceIndex, const QByteArray& piece);
    // Generic packet 0x96: starts the device's message afresh, `length` bytes long. A length
    // of 0 never completes.
    void receiveHeader(quint16 address, quint32 messageNumber, quint32 length, quint32 extra);
    // Generic packet 0x92: the next piece, in order of arrival.
    QByteArray receiveNextPiece(quint16 address, const QByteArray& piece);

    void clear();
    bool hasAssembly(quint16 address) const;
    ResponseAssembly assembly(quint16 address) const; // a default one when absent

private:
    // Caller holds m_mutex.
    QByteArray storePiece(
        quint16 address, ResponseAssembly& assembly, quint32 index, const QByteArray& piece);

    mutable std::mutex m_mutex;
    QHash<quint16, ResponseAssembly> m_assemblies;
};

} // namespace Taviosystem
