#include "responsemanager.h"

namespace Taviosystem {

EnhancedResponseManager::EnhancedResponseManager(QObject* parent)
    : QObject(parent)
{
}

EnhancedResponseManager::~EnhancedResponseManager() = default;

QByteArray EnhancedResponseManager::receiveFirstPiece(
    quint16 address, quint8 pieceCount, const QByteArray& piece)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    ResponseAssembly& assembly = m_assemblies[address];
    assembly.countedInPieces = 1;
    assembly.total = pieceCount;
    return storePiece(address, assembly, 0, piece);
}

QByteArray EnhancedResponseManager::receivePiece(
    quint16 address, quint8 pieceIndex, const QByteArray& piece)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return storePiece(address, m_assemblies[address], pieceIndex, piece);
}

void EnhancedResponseManager::receiveHeader(
    quint16 address, quint32 messageNumber, quint32 length, quint32 extra)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    ResponseAssembly assembly;
    assembly.messageNumber = messageNumber;
    assembly.total = length;
    assembly.extra = extra;
    m_assemblies.insert(address, assembly);
}

QByteArray EnhancedResponseManager::receiveNextPiece(quint16 address, const QByteArray& piece)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    ResponseAssembly& assembly = m_assemblies[address];
    return storePiece(address, assembly, assembly.piecesReceived, piece);
}

QByteArray EnhancedResponseManager::storePiece(
    quint16 address, ResponseAssembly& assembly, quint32 index, const QByteArray& piece)
{
    ++assembly.piecesReceived;
    const qsizetype offset = qsizetype(index) * PieceSize;
    if (assembly.buffer.size() < offset + PieceSize)
        assembly.buffer.append(offset + PieceSize - assembly.buffer.size(), '\0');
    // Always a whole piece: a short one is padded with zero bytes.
    const QByteArray whole = piece.left(PieceSize).leftJustified(PieceSize, '\0');
    assembly.buffer.replace(offset, PieceSize, whole);

    const quint32 needed = assembly.countedInPieces
        ? assembly.total
        : quint32((quint64(assembly.total) + PieceSize - 1) / PieceSize);
    if (needed == 0 || assembly.piecesReceived < needed)
        return QByteArray();
    QByteArray message = assembly.countedInPieces ? assembly.buffer
                                                  : assembly.buffer.left(qsizetype(assembly.total));
    m_assemblies.remove(address);
    return message;
}

void EnhancedResponseManager::clear()
{
    std::lock_guard<std::mutex> locker(m_mutex);
    m_assemblies.clear();
}

bool EnhancedResponseManager::hasAssembly(quint16 address) const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return m_assemblies.contains(address);
}

ResponseAssembly EnhancedResponseManager::assembly(quint16 address) const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return m_assemblies.value(address);
}

} // namespace Taviosystem
