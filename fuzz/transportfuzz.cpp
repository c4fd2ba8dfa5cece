// Drives one hub's long-message transport with arbitrary traffic: packets of either mode as the
// event thread hands them over, interleaved with host messages, stops and restarts. The hub has
// no board library behind it, so every command it sends fails at once.

#include "support/testhub.h"

#include "enhanced/enhancedsessionhandler.h"

#include <QtCore/QCoreApplication>

#include <cstddef>
#include <cstdint>

using namespace Taviosystem;

namespace {
struct Target
{
    int argc = 1;
    char name[15] = "transport_fuzz";
    char* argv[2] = { name, nullptr };
    QCoreApplication application { argc, argv };
    TavioTest::TestSystem system;
    TavioTest::TestTavioHub* hub = system.addUnattachedTavioHub(1);
    Target() { hub->setResponseTimeout(0); }
};
} // namespace

// Input: a mode byte, then records of an operation byte, a length byte and that many bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Target target;
    EnhancedSessionHandler* handler = target.hub->transportHandler();
    if (size == 0 || !handler)
        return 0;
    handler->stop();
    const quint32 mode
        = data[0] & 1 ? EnhancedSessionHandler::Mode_Async : EnhancedSessionHandler::Mode_Generic;
    handler->start(mode);
    std::size_t at = 1;
    while (at + 2 <= size) {
        const std::uint8_t operation = data[at];
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        const QByteArray bytes(reinterpret_cast<const char*>(data + at + 2), int(length));
        at += 2 + length;
        switch (operation % 4) {
        case 0:
        case 1:
            handler->handleAsEvent(
                operation & 0x80 ? EventType_AsyncPacket : EventType_GenericAsyncPacket, bytes);
            break;
        case 2:
            handler->send(quint16(operation << 4 | length), bytes);
            break;
        default:
            if (operation & 0x80) {
                handler->stop();
                handler->start(mode);
            }
            break;
        }
    }
    return 0;
}
