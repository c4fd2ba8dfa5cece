// Decodes arbitrary bytes as frames from the cloud service's collaboration socket, with the
// usual limit and with a limit just under the frame's size, which must always refuse it.

#include <tessaly/collabframe.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4 * 1024 * 1024)
        return 0;
    const QByteArray frame = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
    const Tessaly::CollabFrame decoded = Tessaly::decodeCollabFrame(frame, 1024 * 1024);
    if (decoded.kind == Tessaly::CollabFrame::Oversize)
        __builtin_trap(); // never for a frame within the limit
    if (decoded.kind == Tessaly::CollabFrame::PollResponse && decoded.responseTime < 0)
        __builtin_trap();
    if (size > 0
        && Tessaly::decodeCollabFrame(frame, int(size) - 1).kind != Tessaly::CollabFrame::Oversize)
        __builtin_trap();
    return 0;
}
