#include "messagemanager.h"

#include <taviosystem/enhancedgenericsession.h>

#include <QtCore/QCryptographicHash>
#include <QtCore/QXmlStreamWriter>

namespace Taviosystem {

namespace {
const QByteArray AsyncChunkPrefix = QByteArrayLiteral(":XP00C\r");
const QByteArray GenericChunkPrefix = QByteArrayLiteral(":XP00F\r");
const int AsyncChunkHeaderBytes = 4; // number, chunk number, chunk count, chunk length
const int AcknowledgedChunks = 56; // bits in the 7-byte acknowledgement bitmap
const char DefaultSessionDocument[]
    = "<?xml version=\"1.0\" encoding=\"utf-8\"?><session type=\"MF\"></session>";
// The session type of a description that lists application files.
const QString ListedSessionType = QStringLiteral("M");
} // namespace

EnhancedMessage::EnhancedMessage(quint32 number, const QByteArray& data, int chunkSize)
    : m_number(number)
    , m_digest(digestOf(data))
{
    const int step = qMax(1, chunkSize);
    for (qsizetype offset = 0; offset < data.size(); offset += step)
        m_chunks.append(data.mid(offset, step));
    m_holders.fill(0, m_chunks.size());
}

QByteArray EnhancedMessage::digestOf(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1);
}

QList<quint16> EnhancedMessage::receivers() const
{
    QList<quint16> addresses;
    addresses.reserve(qsizetype(m_receivers.size()));
    for (const auto& receiver : m_receivers)
        addresses.append(receiver.first);
    return addresses;
}

QBitArray EnhancedMessage::receiverBitmap(quint16 address) const
{
    const auto it = m_receivers.find(address);
    return it == m_receivers.end() ? QBitArray() : it->second;
}

void EnhancedMessage::addReceiver(quint16 address)
{
    removeReceiver(address);
    m_receivers.emplace(address, QBitArray(chunkCount()));
}

void EnhancedMessage::removeReceiver(quint16 address)
{
    const auto it = m_receivers.find(address);
    if (it == m_receivers.end())
        return;
    const QBitArray& bits = it->second;
    for (int i = 0; i < bits.size(); ++i) {
        if (bits.testBit(i))
            --m_holders[i];
    }
    m_receivers.erase(it);
}

void EnhancedMessage::setChunkHeld(quint16 address, int index, bool held)
{
    const auto it = m_receivers.find(address);
    if (it == m_receivers.end() || index < 0 || index >= it->second.size())
        return;
    QBitArray& bits = it->second;
    if (bits.testBit(index) == held)
        return;
    bits.setBit(index, held);
    m_holders[index] += held ? 1 : -1;
}

bool EnhancedMessage::advanceChunkIndex()
{
    const int count = chunkCount();
    const int receivers = receiverCount();
    int index = m_currentChunk;
    for (int step = 0; step < count; ++step) {
        index = (index == NoChunk || index + 1 >= count) ? 0 : index + 1;
        if (m_holders.at(index) < receivers) {
            m_currentChunk = quint16(index);
            return true;
        }
    }
    // Every receiver holds every chunk: the index stays where it was.
    return m_currentChunk != NoChunk && m_currentChunk < count;
}

EnhancedMessageManager::EnhancedMessageManager(QObject* parent)
    : QObject(parent)
{
    reset();
}

EnhancedMessageManager::~EnhancedMessageManager() = default;

void EnhancedMessageManager::reset()
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    dropMessages();
    m_numberWidth = NumberWidth_Generic;
    m_applicationFiles.clear();
    m_sessionMessage = defaultSessionMessage();
    m_sessionMessageNumber = 0;
    m_sessionMessageNumber = allocateMessageNumber();
}

void EnhancedMessageManager::dropMessages()
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    m_lastAllocated = 0;
    m_deviceLinks.clear();
    m_awaitingFirstChunk.clear();
    m_messages.clear();
    m_pending.clear();
    m_byDigest.clear();
    m_lastPicked = 0;
}

void EnhancedMessageManager::setNumberWidth(quint32 bytes)
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    m_numberWidth = bytes;
}

quint32 EnhancedMessageManager::numberWidth() const
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    return m_numberWidth;
}

quint32 EnhancedMessageManager::allocateMessageNumber()
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    const quint32 number = nextMessageNumber(m_lastAllocated, m_numberWidth, [this](quint32 n) {
        if (n == m_sessionMessageNumber || m_applicationFiles.contains(n))
            return false;
        const auto it = m_messages.find(n);
        return it == m_messages.end() || it->second->isDone();
    });
    if (number == 0)
        return 0; // the walk came back to where it began
    m_lastAllocated = number;
    deleteMessage(number); // a done message that held the number
    return number;
}

void EnhancedMessageManager::deleteMessage(quint32 number)
{
    const auto it = m_messages.find(number);
    if (it == m_messages.end())
        return;
    const auto digest = m_byDigest.find(it->second->digest());
    if (digest != m_byDigest.end()) {
        digest->second.erase(number);
        if (digest->second.empty())
            m_byDigest.erase(digest);
    }
    m_pending.erase(number);
    m_messages.erase(it);
}

void EnhancedMessageManager::setDone(EnhancedMessage& message, bool done)
{
    message.setDone(done);
    if (done)
        m_pending.erase(message.number());
    else
        m_pending.insert(message.number());
}

bool EnhancedMessageManager::queueMessage(
    quint16 address, quint32& number, const QByteArray& data, int chunkSize)
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    if (data.isEmpty() || address == 0)
        return false;
    if (chunkSize < 1 || (data.size() + chunkSize - 1) / chunkSize > MaximumChunkCount)
        return false;
    // A device holds one outgoing message at a time. Acknowledgements carry no message number,
    // so one the device sent for the message it is taken off may still be on its way: until a
    // chunk of the new message has gone out, the device's acknowledgements cannot be about it.
    const bool replacing = m_deviceLinks.contains(address);
    if (replacing)
        release(address, 0);

    EnhancedMessage* message = nullptr;
    if (number != 0) {
        const auto it = m_messages.find(number);
        if (it != m_messages.end())
            message = it->second.get();
    } else {
        const auto same = m_byDigest.find(EnhancedMessage::digestOf(data));
        if (same != m_byDigest.end())
            message = m_messages.at(*same->second.begin()).get();
    }
    if (message) {
        setDone(*message, false); // one stored message serves every device sent these bytes
    } else {
        if (number == 0 && (number = allocateMessageNumber()) == 0)
            return false;
        auto created = std::make_unique<EnhancedMessage>(number, data, chunkSize);
        message = created.get();
        m_byDigest[message->digest()].insert(number);
        m_pending.insert(number);
        m_messages.emplace(number, std::move(created));
    }
    number = message->number();
    m_deviceLinks.insert(address, number);
    message->addReceiver(address);
    if (replacing)
        m_awaitingFirstChunk.insert(address);
    return true;
}

bool EnhancedMessageManager::pickChunk(quint32 number, EnhancedChunk& chunk)
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    if (m_messages.empty())
        return false;
    EnhancedMessage* message = nullptr;
    if (number != 0) {
        const auto it = m_messages.find(number);
        if (it == m_messages.end())
            return false;
        message = it->second.get();
    } else {
        if (m_pending.empty())
            return false; // every stored message is done
        auto next = m_pending.upper_bound(m_lastPicked);
        if (next == m_pending.end())
            next = m_pending.begin();
        m_lastPicked = *next;
        message = m_messages.at(*next).get();
    }
    // A request that names a done message brings it back into the round.
    setDone(*message, false);
    if (!message->advanceChunkIndex())
        return false;
    // The chunk goes to every receiver of the message: their acknowledgements count again.
    for (auto it = m_awaitingFirstChunk.begin(); it != m_awaitingFirstChunk.end();)
        it = message->hasReceiver(*it) ? m_awaitingFirstChunk.erase(it) : std::next(it);
    chunk.messageNumber = message->number();
    chunk.index = message->currentChunkIndex();
    chunk.count = message->chunkCount();
    chunk.bytes = message->chunks().at(chunk.index);
    return true;
}

QByteArray EnhancedMessageManager::serveChunk(quint32 number)
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    EnhancedChunk chunk;
    if (!pickChunk(number, chunk))
        return QByteArray();
    return m_numberWidth == NumberWidth_Async ? asyncChunkCommand(chunk)
                                              : genericChunkCommand(chunk);
}

bool EnhancedMessageManager::acknowledge(
    quint16 address, quint16 startChunk, const QByteArray& bitmap)
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    const auto link = m_deviceLinks.constFind(address);
    if (link == m_deviceLinks.constEnd() || m_awaitingFirstChunk.count(address) != 0)
        return false;
    const auto it = m_messages.find(link.value());
    if (it == m_messages.end() || !it->second->hasReceiver(address))
        return false;
    EnhancedMessage& message = *it->second;
    const QBitArray before = message.receiverBitmap(address);
    const int count = message.chunkCount();
    const int bits = qMin<int>(AcknowledgedChunks, int(bitmap.size()) * 8);
    for (int k = 0; k < bits; ++k) {
        int index = startChunk + k;
        if (index >= count && count >= AcknowledgedChunks)
            index -= count;
        if (index < count)
            message.setChunkHeld(address, index, (quint8(bitmap.at(k / 8)) >> (k % 8)) & 1);
    }
    return (message.receiverBitmap(address) & ~before).count(true) > 0;
}

void EnhancedMessageManager::release(quint16 address, quint32 number)
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    if (address != 0) {
        const auto link = m_deviceLinks.find(address);
        if (link == m_deviceLinks.end() || (number != 0 && link.value() != number))
            return;
        const quint32 linked = link.value();
        m_deviceLinks.erase(link);
        m_awaitingFirstChunk.erase(address);
        const auto it = m_messages.find(linked);
        if (it == m_messages.end())
            return;
        it->second->removeReceiver(address);
        if (it->second->receiverCount() == 0)
            deleteMessage(linked);
        return;
    }
    const auto it = m_messages.find(number);
    if (it == m_messages.end())
        return;
    setDone(*it->second, true);
    // Only receivers can be linked to the message, so its bitmaps name every linked device;
    // the bitmaps themselves stay with the message.
    for (quint16 receiver : it->second->receivers()) {
        const auto link = m_deviceLinks.find(receiver);
        if (link != m_deviceLinks.end() && link.value() == number) {
            m_deviceLinks.erase(link);
            m_awaitingFirstChunk.erase(receiver);
        }
    }
}

QByteArray EnhancedMessageManager::defaultSessionMessage()
{
    return char(EnhancedGenericSession::MessageType_Xml) + QByteArray(DefaultSessionDocument);
}

QString EnhancedMessageManager::applicationFileTypeCode(int fileType)
{
    switch (fileType) {
    case ApplicationFileInfo::FileType_Xml:
        return QStringLiteral("XM");
    case ApplicationFileInfo::FileType_Application:
        return QStringLiteral("AP");
    case ApplicationFileInfo::FileType_Image:
        return QStringLiteral("IM");
    case ApplicationFileInfo::FileType_Audio:
        return QStringLiteral("AU");
    case ApplicationFileInfo::FileType_Video:
        return QStringLiteral("VI");
    default:
        return QString();
    }
}

// <?xml ...?><session type="M"><files><file type=".." id="<uuid>" fid="<number>"><size>n</size>
// </file>...</files></session>, no indentation, after the XML type byte. The sizes count the
// stored content, type byte included.
void EnhancedMessageManager::setApplicationFileList(const QList<ApplicationFileInfo>& files)
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    m_applicationFiles.clear();
    m_sessionMessageNumber = allocateMessageNumber();

    QByteArray document;
    QXmlStreamWriter writer(&document);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("session"));
    writer.writeAttribute(QStringLiteral("type"), ListedSessionType);
    writer.writeStartElement(QStringLiteral("files"));
    for (const ApplicationFileInfo& file : files) {
        const quint32 fileNumber = allocateMessageNumber();
        if (fileNumber == 0)
            continue; // every number is taken: the file cannot be served
        const QByteArray content = char(file.fileType) + file.data;
        m_applicationFiles.insert(fileNumber, content);
        const QString typeCode = applicationFileTypeCode(file.fileType);
        if (typeCode.isEmpty())
            continue;
        writer.writeStartElement(QStringLiteral("file"));
        writer.writeAttribute(QStringLiteral("type"), typeCode);
        writer.writeAttribute(QStringLiteral("id"), file.id.toString(QUuid::WithoutBraces));
        writer.writeAttribute(QStringLiteral("fid"), QString::number(fileNumber));
        writer.writeTextElement(QStringLiteral("size"), QString::number(content.size()));
        writer.writeEndElement();
    }
    writer.writeEndElement();
    writer.writeEndElement();
    writer.writeEndDocument();
    m_sessionMessage = char(EnhancedGenericSession::MessageType_Xml) + document;
}

void EnhancedMessageManager::setApplicationFiles(const QMap<quint32, QByteArray>& files)
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    m_applicationFiles = files;
}

std::optional<QByteArray> EnhancedMessageManager::applicationFile(quint32 fileNumber) const
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    const auto it = m_applicationFiles.constFind(fileNumber);
    if (it == m_applicationFiles.constEnd())
        return std::nullopt;
    return it.value();
}

void EnhancedMessageManager::setSessionMessage(const QByteArray& message)
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    m_sessionMessage = message;
}

QByteArray EnhancedMessageManager::sessionMessage() const
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    return m_sessionMessage;
}

quint32 EnhancedMessageManager::sessionMessageNumber() const
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    return m_sessionMessageNumber;
}

quint32 EnhancedMessageManager::linkedMessageNumber(quint16 address) const
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    return m_deviceLinks.value(address, 0);
}

std::optional<EnhancedMessage> EnhancedMessageManager::message(quint32 number) const
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    const auto it = m_messages.find(number);
    if (it == m_messages.end())
        return std::nullopt;
    return *it->second;
}

int EnhancedMessageManager::messageCount() const
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    return int(m_messages.size());
}

quint32 EnhancedMessageManager::lastPickedNumber() const
{
    std::lock_guard<std::recursive_mutex> locker(m_mutex);
    return m_lastPicked;
}

// ":XP00C" CR, n+4, message number, chunk number (1-based), chunk count, n, the n chunk bytes;
// numbers and counts cut to one byte.
QByteArray EnhancedMessageManager::asyncChunkCommand(const EnhancedChunk& chunk)
{
    QByteArray command = AsyncChunkPrefix;
    command.append(char(chunk.bytes.size() + AsyncChunkHeaderBytes));
    command.append(char(chunk.messageNumber));
    command.append(char(chunk.index + 1));
    command.append(char(chunk.count));
    command.append(char(chunk.bytes.size()));
    command.append(chunk.bytes);
    return command;
}

// ":XP00F" CR, message number (3 bytes), chunk index (2, 0-based), chunk count (2), then the
// chunk padded with zero bytes to 50; all big-endian.
QByteArray EnhancedMessageManager::genericChunkCommand(const EnhancedChunk& chunk)
{
    QByteArray command = GenericChunkPrefix;
    command.append(char(chunk.messageNumber >> 16));
    command.append(char(chunk.messageNumber >> 8));
    command.append(char(chunk.messageNumber));
    command.append(char(chunk.index >> 8));
    command.append(char(chunk.index));
    command.append(char(chunk.count >> 8));
    command.append(char(chunk.count));
    command.append(chunk.bytes);
    if (chunk.bytes.size() < GenericChunkSize)
        command.append(GenericChunkSize - chunk.bytes.size(), '\0');
    return command;
}

} // namespace Taviosystem
