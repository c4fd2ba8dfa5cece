// The classroom server's replies as the data layer routes them: arbitrary bytes as a reply body
// (or a network error), turned into the map a caller's slot gets, then handed to a receiver the
// way the adapter and a document entity hand them on.

#include "virtual/serverdata/adapter.h"

#include <QtCore/QObject>
#include <QtCore/QVariant>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {
class Receiver : public QObject
{
    Q_OBJECT
public:
    int successes = 0;
    int failures = 0;
public Q_SLOTS:
    void ok(QNetworkReply*, QVariant) { ++successes; }
    void failed(QNetworkReply*, QVariantMap) { ++failures; }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray body(reinterpret_cast<const char*>(data + 1), int(size - 1));
    const int networkError = data[0] < 16 ? data[0] : 0;
    bool failed = false;
    const QVariantMap map
        = Tavio::Adapter::replyMap(networkError, QStringLiteral("x"), body, &failed);
    // A failure always names its error; a success is a map that holds no valid error.
    if (failed && !map.contains(QStringLiteral("error")))
        std::abort();
    if (!failed && map.value(QStringLiteral("error")).isValid()
        && !map.value(QStringLiteral("error")).isNull())
        std::abort();
    Receiver receiver;
    if (failed)
        Tavio::Adapter::invokeSlot(&receiver, "failed", nullptr, map);
    else
        Tavio::Adapter::invokeSlot(&receiver, "ok", nullptr, map.value(QStringLiteral("result")));
    if (receiver.successes + receiver.failures != 1)
        std::abort();
    return 0;
}

#include "serverreplyfuzz.moc"
