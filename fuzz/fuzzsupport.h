#pragma once

// What the fuzz targets share: an application object for the hubs' queued slots and deferred
// deletions, record decoding, and a periodic turn of the event loop.

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>

namespace FuzzSupport {

// Derive a target's state from this so the application exists before any hub is made.
struct Application
{
    int argc = 1;
    char name[16] = "fuzz";
    char* argv[2] = { name, nullptr };
    QCoreApplication application { argc, argv };
};

// Decodes the bytes as each record type in turn; a record must never read outside them.
template <typename... Records>
void decodeAll(const QByteArray& packet)
{
    const auto decode = [&packet](auto record) { (void)record.isValid(); };
    (decode(Records(packet)), ...);
}

// True once every 256 calls: time to drain queued work so nothing grows without end.
inline bool periodically()
{
    static unsigned runs = 0;
    return ++runs % 256 == 0;
}

} // namespace FuzzSupport
