// The discovery server's replies and announcements, and the virtual hub's construction string:
// arbitrary bytes, the reply fed to the decoder in chunks the input itself chooses.

#include "virtual/orvikprotocol.h"
#include "virtual/virtualhubrecords.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace Taviosystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), int(size - 1));

    const Orvik::Announcement announcement = Orvik::parseAnnouncement(bytes);
    if (announcement.valid
        && (announcement.address.isEmpty() || announcement.port < 1
            || announcement.port > Orvik::MaximumPort))
        std::abort();

    const VirtualHubAddress address = VirtualHubAddress::parse(QString::fromLatin1(bytes));
    if (address.host.contains(QLatin1Char('/')))
        std::abort();

    // Chunk sizes cycle through the seed byte's bits: 1 to 8 bytes at a time.
    Orvik::ReplyDecoder decoder;
    int at = 0;
    unsigned seed = data[0];
    while (at < bytes.size() && decoder.bytesWanted() > 0) {
        const int chunk = int(seed % 8) + 1;
        seed = seed * 1103515245u + 12345u;
        const int offered = std::min(chunk, int(bytes.size()) - at);
        const int taken = decoder.feed(bytes.constData() + at, offered);
        if (taken < 0 || taken > offered)
            std::abort();
        at += taken;
        if (taken < offered)
            break;
    }
    if (decoder.payload().size() > int(Orvik::ReplyDecoder::MaximumPayload))
        std::abort();
    if (decoder.state() == Orvik::ReplyDecoder::State_Complete
        && decoder.payload().size() != int(decoder.declaredLength()))
        std::abort();
    (void)Orvik::isPin(decoder.payload());
    (void)Orvik::pinRequest(QString::fromUtf8(bytes));
    return 0;
}
