// The classroom demo: a host program that plugs emulated receivers in, initialises the system,
// lists what it finds and shuts down.
//
//   classroomdemo [--hubs N]

#include <taviosystem/hub.h>
#include <taviosystem/taviosystem.h>

#include <tavioemulator/emulator.h>

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QTextStream>

using namespace Taviosystem;

namespace {

void onHubConnected(Hub* hub, bool connected, void* context)
{
    auto* out = static_cast<QTextStream*>(context);
    *out << (connected ? "  + hub " : "  - hub ") << hub->handle() << " (serial 0x"
         << QString::number(hub->uid(), 16) << ")\n";
    out->flush();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("classroomdemo"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Runs a classroom against emulated hubs."));
    parser.addHelpOption();
    QCommandLineOption hubsOption(QStringLiteral("hubs"),
        QStringLiteral("Number of emulated 2.4 GHz hubs (default 1)."), QStringLiteral("N"),
        QStringLiteral("1"));
    parser.addOption(hubsOption);
    parser.process(app);

    QTextStream out(stdout);
    const int hubCount = qBound(0, parser.value(hubsOption).toInt(), 16);

    // The emulator stands in for the receivers plugged into this machine.
    auto& emulator = TavioEmulator::Emulator::instance();
    for (int i = 1; i <= hubCount; ++i) {
        TavioEmulator::HubConfig config;
        config.kind = 3;
        config.serial = 0x5A000000ull + quint64(i);
        config.driverVersion = u"6.2.3.4";
        emulator.addHub(config);
    }

    TavioSystem& system = TavioSystem::instance();
    const int version = TavioSystem::getLibraryVersion();
    out << "taviosystem2 " << (version >> 16) << '.' << ((version >> 8) & 0xFF) << '.'
        << (version & 0xFF) << "\n";
    system.setHubConnectedCallback(&onHubConnected, &out);
    if (!system.initialise()) {
        out << "The board library could not be loaded ("
            << TavioSystem::errorAsString(system.getLastError()) << ").\n";
        return 1;
    }
    int major = 0, minor = 0, build = 0;
    if (system.getDriverVersion(&major, &minor, &build))
        out << "Driver " << major << '.' << minor << '.' << build << "\n";

    QList<Hub*> hubs;
    system.getHubList(&hubs);
    out << "Receivers attached: " << emulator.handles().size() << ", hubs in use: " << hubs.size()
        << "\n";
    for (Hub* hub : std::as_const(hubs))
        out << "  hub " << hub->handle() << " serial 0x" << QString::number(hub->uid(), 16)
            << " version " << hub->getVersion() << "\n";

    system.shutdown();
    out << "Shut down.\n";
    return 0;
}
