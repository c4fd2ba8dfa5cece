#pragma once

// The discovery server's wire formats, free of sockets: the UDP announcement, the two TCP
// requests and the length-prefixed reply, decoded incrementally as bytes trickle in.

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

namespace Orvik {

// Datagrams longer than this are cut before they are matched.
constexpr int MaximumAnnouncementSize = 1023;
constexpr int MaximumPort = 65535;

// Where an announcement says the server listens. `valid` is false when the datagram does not
// carry the announcement, or carries an empty address or a port outside 1 to 65535.
struct Announcement
{
    bool valid = false;
    QString address;
    int port = 0;
};

// Finds "Orvik addr<address> port<digits>" anywhere in the datagram (read as Latin-1; the
// address part takes as much as it can).
Announcement parseAnnouncement(const QByteArray& datagram);

// ":RP", the details in UTF-8 with carriage returns and line feeds turned into blanks (so that
// the details can never end the request early), CR.
QByteArray pinRequest(const QString& hubDetails);
// ":CS" CR
QByteArray closeSessionRequest();

// A PIN is exactly three printable ASCII characters.
bool isPin(const QByteArray& payload);

// One reply: a 4-byte payload length (little-endian, unsigned), then the payload. Fed a chunk at
// a time, it takes only the bytes its reply needs and leaves the rest to the caller.
class ReplyDecoder
{
public:
    // Replies longer than this are refused before anything is allocated for them.
    static constexpr quint32 MaximumPayload = 4096;
    static constexpr int HeaderSize = 4;

    enum State {
        State_Header, // length bytes still missing
        State_Payload, // payload bytes still missing
        State_Complete,
        State_Oversize // the declared length is past MaximumPayload; the stream is lost
    };

    // Takes up to `size` bytes and answers how many it took: never more than bytesWanted().
    int feed(const char* data, int size);
    // How many more bytes this reply needs (0 once complete or oversize).
    int bytesWanted() const;
    State state() const { return m_state; }
    quint32 declaredLength() const { return m_declared; }
    const QByteArray& payload() const { return m_payload; }
    void reset();

private:
    State m_state = State_Header;
    unsigned char m_header[HeaderSize] = {};
    int m_headerRead = 0;
    quint32 m_declared = 0;
    QByteArray m_payload;
};

} // namespace Orvik

} // namespace Taviosystem
