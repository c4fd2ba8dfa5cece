#pragma once

#include "hub/hubresponse.h"

#include <QtCore/QByteArray>

namespace Taviosystem {

// One packet of the asynchronous session, decoded. Byte 0 is the packet's length, byte 1 its
// type; addresses and numbers are big-endian.
//
//   0x84 (12)  address, 8 request bytes          a device asks for a message
//   0x85 (3)   message number (0 = any)          the hub asks for the next chunk
//   0x86 (3)   message number                    the hub is done with a message
//   0x87 (13)  address, piece count, piece 0     first piece of a device message
//   0x88 (13)  address, piece index, piece       a further piece
//   0x93 (13)  address, start chunk (2), bitmap (7)   a device's chunk acknowledgement
//
// A packet is valid when its buffer holds at least byte 0 bytes and its (length, type) pair is
// one of these; the buffer may be longer than the packet. A response shares the bytes it is
// given instead of copying them: give it owned bytes (the event queue's copy of the packet),
// never a packet straight from the board library.
class AsyncResponse : public HubResponse
{
public:
    enum Type : quint8 {
        Type_GetMessage = 0x84,
        Type_ChunkRequest = 0x85,
        Type_MessageDone = 0x86,
        Type_FirstPiece = 0x87,
        Type_Piece = 0x88,
        Type_GenericPiece = 0x92,
        Type_Acknowledgement = 0x93,
        Type_Control = 0x94,
        Type_AnyChunkRequest = 0x95,
        Type_GenericHeader = 0x96,
    };
    static constexpr int PieceSize = 8;
    static constexpr int BitmapSize = 7;
    static constexpr int ControlSize = 9;

    AsyncResponse() = default;
    explicit AsyncResponse(const QByteArray& packet);
    ~AsyncResponse() override;

    static bool isResponse(const QByteArray& packet);

    virtual quint16 address() const { return m_address; }
    virtual quint8 messageNumber() const { return m_messageNumber; }
    // The request bytes, the piece, the bitmap or the control bytes, by type.
    virtual QByteArray payload() const { return m_payload; }
    virtual quint8 pieceCount() const;
    virtual quint8 pieceIndex() const;
    virtual quint16 ackStart() const { return m_ackStart; }
    virtual void parse();

protected:
    // Fills the fields shared by both modes from m_packet; false for a type neither knows.
    bool parseCommon();

    QByteArray m_packet;
    quint16 m_address = 0;
    QByteArray m_payload;
    quint8 m_messageNumber = 0;
    quint16 m_ackStart = 0;
};

// One packet of the enhanced generic session, decoded:
//
//   0x92 (13)  address, tag, piece                next piece of a device message
//   0x93 (13)  address, start chunk (2), bitmap (7)
//   0x94 (13)  address, 9 control bytes           a device control message
//   0x95 (2)   -                                  the hub asks for a chunk of any message
//   0x96 (13)  address, message number (3), length in bytes (3), extra (3)
//
// Byte 0 must equal the buffer's size exactly.
class GenericAsyncResponse : public AsyncResponse
{
public:
    GenericAsyncResponse() = default;
    explicit GenericAsyncResponse(const QByteArray& packet);

    static bool isResponse(const QByteArray& packet);

    quint8 pieceIndex() const override { return m_tag; }
    void parse() override;

    quint32 genericMessageNumber() const { return m_genericNumber; }
    quint32 length() const { return m_length; }
    quint32 extra() const { return m_extra; }

private:
    quint32 m_genericNumber = 0;
    quint32 m_length = 0;
    quint32 m_extra = 0;
    quint8 m_tag = 0;
};

} // namespace Taviosystem
