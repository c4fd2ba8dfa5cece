#include "testhub.h"

#include "system/boarddeviceinfo.h"

#include <QtCore/QMutexLocker>

using namespace Taviosystem;

namespace TavioTest {

TestReply::TestReply(const QByteArray& packet)
{
    if (!isResponse(packet))
        return;
    payload = packet.mid(2);
    m_packetType = quint8(Kind);
    m_valid = true;
}

bool TestReply::isResponse(const QByteArray& packet)
{
    return packet.size() == 4 && packet.at(0) == 4 && packet.at(1) == Kind;
}

TestRecord::TestRecord(const QByteArray& packet) { m_valid = isResponse(packet); }

bool TestRecord::isResponse(const QByteArray& packet)
{
    return packet.size() == 5 && packet.at(0) == 5 && packet.at(1) == Kind;
}

QByteArray TestRecord::endOfListPacket() { return QByteArray::fromHex("057DFFFFFF"); }

QByteArray TestRecord::listTerminator() { return QByteArray::fromHex("04324F4B"); }

TestHub::TestHub(TavioSystem* system, int handle, quint64 uid, int version, bool pens)
    : Hub(system, handle, uid, true, version)
{
    registerResponseHandler<TestReply>();
    registerListResponseHandler<TestRecord>(TestRecord::listTerminator());
    if (pens)
        initialisePens();
}

void TestHub::mapAddress(unsigned int address, unsigned int uid)
{
    QMutexLocker locker(&m_mutex);
    m_addressMap.insert(address, uid);
}

unsigned int TestHub::getDeviceId(unsigned int address)
{
    QMutexLocker locker(&m_mutex);
    return m_addressMap.value(address, 0);
}

QList<QByteArray> TestHub::receivedPackets() const
{
    QMutexLocker locker(&m_mutex);
    return m_received;
}

QByteArray TestHub::lastPacketAsHanded() const
{
    QMutexLocker locker(&m_mutex);
    return m_lastAsHanded;
}

void TestHub::processPacket(const QByteArray& packet)
{
    if (m_beforeProcess)
        m_beforeProcess(packet);
    if (m_recordPackets) {
        QMutexLocker locker(&m_mutex);
        m_received.append(QByteArray(packet.constData(), packet.size()));
        m_lastAsHanded = packet;
    }
    Hub::processPacket(packet);
}

bool TestHub::isPenPacket(const QByteArray& packet)
{
    return packet.size() == PenPacket_Length
        && packet.at(PenPacket_Offset_Length) == PenPacket_Length
        && packet.at(PenPacket_Offset_Control) == PenPacket_Control;
}

void TestHub::getPenData(const QByteArray& packet, unsigned char& pen, int& x, int& y, bool& tip,
    bool& barrel, bool& extra)
{
    const quint8 flags = packetByte(packet, 7);
    x = packetByte(packet, 3) | packetByte(packet, 4) << 8;
    y = packetByte(packet, 5) | packetByte(packet, 6) << 8;
    tip = flags & 0x01;
    barrel = flags & 0x02;
    extra = flags & 0x04;
    pen = (flags >> 3) & 0x03;
}

bool TestHub::getDeviceCount(Device::Type, int* count)
{
    if (count)
        *count = 0;
    return true;
}

bool TestHub::getDeviceList(Device::Type, QList<Device*>* list)
{
    if (list)
        list->clear();
    return true;
}

bool TestHub::getCompleteDeviceList(QList<Device*>* list)
{
    if (list)
        list->clear();
    return true;
}

void TestHub::readRegisteredDevicesLists()
{
    ++m_reenumerations;
    Q_EMIT listsRead();
}

// Test format: 11 bytes, 0B 67, uid (bytes 2-5, big-endian), two bytes, then the name's
// letters in bytes 8 to 10 (zero bytes skipped).
bool TestHub::processPinNamingSessionResponse(
    const QByteArray& packet, unsigned int& uid, QString& name)
{
    if (packet.size() != 11 || packet.at(0) != 11 || packet.at(1) != 0x67)
        return false;
    uid = 0;
    for (int i = 2; i < 6; ++i)
        uid = (uid << 8) | packetByte(packet, i);
    name.clear();
    for (int i = 8; i < 11; ++i) {
        if (packet.at(i) != 0)
            name += QLatin1Char(packet.at(i));
    }
    return true;
}

TestSystem::TestSystem() = default;

TestSystem::~TestSystem() { shutdown(); }

Hub* TestSystem::connectedHub(int handle)
{
    QList<Hub*> hubs;
    if (!getHubList(&hubs))
        return nullptr;
    for (Hub* hub : hubs) {
        if (hub->handle() == handle)
            return hub;
    }
    return nullptr;
}

TestTavioHub* TestSystem::tavioHub(int handle)
{
    return qobject_cast<TestTavioHub*>(connectedHub(handle));
}

TestVirtualHub* TestSystem::virtualHub(int handle)
{
    return qobject_cast<TestVirtualHub*>(connectedHub(handle));
}

TestHub* TestSystem::testHub(int handle) { return qobject_cast<TestHub*>(connectedHub(handle)); }

TestHub* TestSystem::addUnattachedHub(int handle, bool pens)
{
    auto* hub = new TestHub(this, handle, 0x42, 0, pens);
    hub->setRecordPackets(false);
    insertHub(handle, hub);
    return hub;
}

TestTavioHub* TestSystem::addUnattachedTavioHub(int handle)
{
    auto* hub = new TestTavioHub(this, handle, 0x42, true, 0);
    insertHub(handle, hub);
    return hub;
}

TestVirtualHub* TestSystem::addUnattachedVirtualHub(int handle, const QString& info)
{
    auto* hub = new TestVirtualHub(this, handle, 0x43, true, 0, info);
    insertHub(handle, hub);
    return hub;
}

Hub* TestSystem::createHub(const BoardDeviceInfo& record)
{
    if (record.kind() == 4 && hubs == Hubs::Tavio)
        return new TestVirtualHub(this, record.handle(), record.serial(), true,
            record.versionNumber(), record.devicePath());
    if (record.kind() != 3 || hubs == Hubs::None)
        return TavioSystem::createHub(record);
    if (hubs == Hubs::Tavio)
        return new TestTavioHub(
            this, record.handle(), record.serial(), true, record.versionNumber());
    return new TestHub(
        this, record.handle(), record.serial(), record.versionNumber(), initialisePens);
}

void TestSystem::updateHubs()
{
    ++updateHubsRuns;
    if (beforeUpdateHubs)
        beforeUpdateHubs();
    TavioSystem::updateHubs();
}

} // namespace TavioTest
