#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QHash>
#include <QtCore/QtGlobal>

namespace Taviosystem {

// Decodes the vote packets of one hub kind.
class TavioteResponse
{
public:
    virtual ~TavioteResponse() = default;
    virtual bool isVote(const QByteArray& packet) const = 0;
    virtual quint32 deviceNumber(const QByteArray& packet) const = 0;
    virtual quint8 voteKey(const QByteArray& packet) const = 0;
    virtual int batteryLow(const QByteArray& packet) const = 0;
    // Whether a decoded vote only repeats the last key of its device (then it is no vote).
    virtual bool isRepeat(quint32 deviceNumber, quint8 key)
    {
        Q_UNUSED(deviceNumber);
        Q_UNUSED(key);
        return false;
    }
};

// The 2.4 GHz hub's vote: 9 bytes, 09 65, uid (bytes 2-5, big-endian), address (bytes 6-7,
// big-endian), key byte. The device number is the address, or the uid when the address is 0.
class TwoPointFourGHzTavioteResponse : public TavioteResponse
{
public:
    static constexpr int VotePacket_Length = 9;
    static constexpr char VotePacket_Kind = 0x65;
    static constexpr int VotePacket_Offset_Kind = 1;
    static constexpr int VotePacket_Offset_Uid = 2;
    static constexpr int VotePacket_Offset_Address = 6;
    static constexpr int VotePacket_Offset_Key = 8;

    bool isVote(const QByteArray& packet) const override;
    quint32 deviceNumber(const QByteArray& packet) const override;
    quint8 voteKey(const QByteArray& packet) const override;
    int batteryLow(const QByteArray& packet) const override;
};

// The legacy hub's voters repeat their key while it is held: per device number the last key is
// remembered (for the life of the voting session) and a packet repeating it is no vote.
class LegacyTavioteResponseBase : public TavioteResponse
{
public:
    bool isRepeat(quint32 deviceNumber, quint8 key) override;

private:
    QHash<quint32, quint8> m_lastKeys;
};

// USB: 9 bytes, 09 65, device number in bytes 2-4 (little-endian, 7 bits of byte 4), battery
// low in bit 0 of byte 6, key byte 8.
class LegacyTavioteResponse : public LegacyTavioteResponseBase
{
public:
    static constexpr int VotePacket_Length = 9;
    static constexpr int VotePacket_Offset_Key = 8;

    bool isVote(const QByteArray& packet) const override;
    quint32 deviceNumber(const QByteArray& packet) const override;
    quint8 voteKey(const QByteArray& packet) const override;
    int batteryLow(const QByteArray& packet) const override;
};

// Serial: 10 bytes, length 10 and kind 'e' in their low 7 bits, device number from bytes 1, 3
// and 4 as 7-bit groups, battery low in bit 0 of byte 6, key byte 9.
class LegacySerialTavioteResponse : public LegacyTavioteResponse
{
public:
    static constexpr int VotePacket_Length = 10;
    static constexpr int VotePacket_Offset_Key = 9;

    bool isVote(const QByteArray& packet) const override;
    quint32 deviceNumber(const QByteArray& packet) const override;
    quint8 voteKey(const QByteArray& packet) const override;
};

} // namespace Taviosystem
