// The classroom-server hub's beacon: an arbitrary reply body read as the list of events, each
// entry read for the action it asks for and the device it names.

#include "virtual/rondel2values.h"
#include "virtual/serverdata/adapter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace Taviosystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), int(size));
    bool failed = false;
    const QVariantMap map = Tavio::Adapter::replyMap(0, QString(), body, &failed);
    const QVariantList entries = map.value(QStringLiteral("result")).toList();
    for (const QVariant& entry : entries) {
        const Rondel2::BeaconEntry read = Rondel2::readBeaconEntry(entry);
        const bool acts = read.kind != Rondel2::BeaconEntry::Invalid
            && read.kind != Rondel2::BeaconEntry::Unknown;
        // A device the hub acts on is always a usable identifier.
        if (acts && read.device == 0)
            std::abort();
        if (read.kind == Rondel2::BeaconEntry::QuestionRequest
            && (read.questionNumber < 1 || read.questionNumber > 0xFFFF))
            std::abort();
    }
    return 0;
}
