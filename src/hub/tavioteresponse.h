#pragma once

#include <QtCore/QByteArray>
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

} // namespace Taviosystem
