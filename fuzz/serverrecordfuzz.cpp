// The records the classroom server sends: an arbitrary JSON object read into each of the nine
// record kinds; every member is either taken with the property's type or named as rejected.

#include "virtual/serverdata/adapter.h"
#include "virtual/serverdata/records.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), int(size));
    bool failed = false;
    const QVariantMap map = Tavio::Adapter::replyMap(0, QString(), body, &failed);
    std::unique_ptr<Tavio::Record> records[] = {
        std::make_unique<Tavio::Rondel_hubRecord>(),
        std::make_unique<Tavio::Rondel_clientRecord>(),
        std::make_unique<Tavio::Rondel_sessionRecord>(),
        std::make_unique<Tavio::TestSessionParameters>(),
        std::make_unique<Tavio::TestQuestionDocument>(),
        std::make_unique<Tavio::PossibleResponse>(),
        std::make_unique<Tavio::QuestionResponse>(),
        std::make_unique<Tavio::DeviceNamingOptions>(),
        std::make_unique<Tavio::DeviceInfo>(),
    };
    for (auto& record : records) {
        QStringList rejected;
        const bool all = record->readFrom(map, &rejected);
        if (all != rejected.isEmpty())
            std::abort();
        // What was taken is what the record now reports as set.
        const QVariantMap delta = record->getDelta();
        for (const QString& name : rejected)
            if (delta.contains(name))
                std::abort();
    }
    return 0;
}
