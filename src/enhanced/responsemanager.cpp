#include "responsemanager.h"

namespace Taviosystem {

namespace {
constexpr int PieceSize = EnhancedResponseManager::PieceSize;

// A piece as it is stored: always whole, a short one padded with zero bytes.
QByteArray wholePiece(const QByteArray& piece)
{
    return piece.left(PieceSize).leftJustified(PieceSize, '\0');
}

// Keeps the first `count` pieces of an assembly: the others belong to no message of that count.
void keepPieces(ResponseAssembly& assembly, quint32 count)
{
    if (quint32(assembly.held.size()) <= count)
        return;
    assembly.held.resize(qsizetype(count));
    assembly.buffer.truncate(qsizetype(count) * PieceSize);
    assembly.piecesReceived = quint32(assembly.held.count(true));
}
} // namespace

EnhancedResponseManager::EnhancedResponseManager(QObject* parent)
    : QObject(parent)
{
}

EnhancedResponseManager::~EnhancedResponseManager() = default;

QByteArray EnhancedResponseManager::receiveFirstPiece(
    quint16 address, quint8 pieceCount, const QByteArray& piece)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    ResponseAssembly* assembly = assemblyForPiece(address, 0, pieceCount, piece);
    if (!assembly)
        return QByteArray();
    assembly->countedInPieces = 1;
    assembly->total = pieceCount;
    keepPieces(*assembly, pieceCount);
    return storePiece(address, *assembly, 0, piece);
}

QByteArray EnhancedResponseManager::receivePiece(
    quint16 address, quint8 pieceIndex, const QByteArray& piece)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    ResponseAssembly* assembly = assemblyForPiece(address, pieceIndex, 0, piece);
    return assembly ? storePiece(address, *assembly, pieceIndex, piece) : QByteArray();
}

void EnhancedResponseManager::deviceMovedOn(quint16 address)
{
    std::lock_guard<std::mutex> locker(m_mutex);
    m_completed.remove(address);
}

ResponseAssembly* EnhancedResponseManager::assemblyForPiece(
    quint16 address, quint32 index, quint32 pieceCount, const QByteArray& piece)
{
    const auto open = m_assemblies.find(address);
    if (open != m_assemblies.end())
        return &open.value();
    const auto last = m_completed.constFind(address);
    if (last != m_completed.cend()) {
        const CompletedMessage& completed = last.value();
        const bool repeat = index < completed.pieceCount
            && (pieceCount == 0 || pieceCount == completed.pieceCount)
            && completed.buffer.mid(qsizetype(index) * PieceSize, PieceSize) == wholePiece(piece);
        if (repeat)
            return nullptr;
        m_completed.erase(last); // the device has started its next message
    }
    return &m_assemblies[address];
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
    // A piece past the message's count is not one of its pieces; a repeat adds nothing.
    if ((assembly.countedInPieces && index >= assembly.total)
        || (index < quint32(assembly.held.size()) && assembly.held.testBit(qsizetype(index))))
        return QByteArray();
    if (quint32(assembly.held.size()) <= index)
        assembly.held.resize(qsizetype(index) + 1);
    assembly.held.setBit(qsizetype(index));
    ++assembly.piecesReceived;
    const qsizetype offset = qsizetype(index) * PieceSize;
    if (assembly.buffer.size() < offset + PieceSize)
        assembly.buffer.append(offset + PieceSize - assembly.buffer.size(), '\0');
    assembly.buffer.replace(offset, PieceSize, wholePiece(piece));

    const quint32 needed = assembly.countedInPieces
        ? assembly.total
        : quint32((quint64(assembly.total) + PieceSize - 1) / PieceSize);
    if (needed == 0 || assembly.piecesReceived < needed)
        return QByteArray();
    QByteArray message = assembly.countedInPieces ? assembly.buffer
                                                  : assembly.buffer.left(qsizetype(assembly.total));
    if (assembly.countedInPieces)
        m_completed.insert(address, { assembly.total, message });
    m_assemblies.remove(address);
    return message;
}

void EnhancedResponseManager::clear()
{
    std::lock_guard<std::mutex> locker(m_mutex);
    m_assemblies.clear();
    m_completed.clear();
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
