// The classroom demo: a host program that plugs emulated receivers in, initialises the system,
// lists the hubs with their names, states and registered devices, and shuts down.
//
//   classroomdemo [--hubs N] [--class-size N]

#include <taviosystem/hub.h>
#include <taviosystem/taviosystem.h>
#include <taviosystem/twopointfourghzhub.h>

#include <tavioemulator/emulator.h>
#include <tavioemulator/twopointfourghzfirmware.h>

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

// A class on one emulated hub: voters, answer devices of both generations, slates and a board.
std::shared_ptr<TavioEmulator::TwoPointFourGHzFirmware> emulatedClass(int hubIndex, int size)
{
    using TavioEmulator::EmulatedDevice;
    auto firmware = std::make_shared<TavioEmulator::TwoPointFourGHzFirmware>();
    firmware->setHubName("Room " + std::to_string(10 + hubIndex));
    const quint32 base = quint32(hubIndex) << 20;
    for (int i = 0; i < size; ++i) {
        const quint32 uid = base + 0x1000 + quint32(i);
        const quint16 address = quint16(0x100 + i);
        const std::string name = "L" + std::to_string(i + 1);
        switch (i % 4) {
        case 0:
        case 1:
            firmware->addDevice(EmulatedDevice::taviote(uid, address, name));
            break;
        case 2:
            firmware->addDevice(EmulatedDevice::expression(uid, address, "Learner " + name));
            break;
        default:
            firmware->addDevice(EmulatedDevice::expressionV2(uid, address, "Learner " + name));
            break;
        }
    }
    firmware->addDevice(EmulatedDevice::slate(base + 0x9000, 0x0F00, "Front"));
    firmware->addDevice(EmulatedDevice::board(base + 0xA000, 0x0F01, "Board", 0x0380));
    return firmware;
}

const char* subTypeName(Device::SubType subType)
{
    switch (subType) {
    case Device::SubType_Expression:
        return "expression";
    case Device::SubType_ExpressionV2:
        return "expression 2";
    case Device::SubType_Other:
        return "other";
    default:
        return "-";
    }
}

void listDevices(QTextStream& out, const char* title, const QList<DeviceDisplayInfo>& devices)
{
    out << "    " << title << ": " << devices.size() << "\n";
    for (const DeviceDisplayInfo& device : devices)
        out << "      " << QString::number(device.uid, 16).rightJustified(8, QLatin1Char('0'))
            << "  " << device.name.leftJustified(16) << subTypeName(device.subType) << "\n";
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
    QCommandLineOption classOption(QStringLiteral("class-size"),
        QStringLiteral("Learner devices registered on each hub (default 12)."), QStringLiteral("N"),
        QStringLiteral("12"));
    parser.addOption(hubsOption);
    parser.addOption(classOption);
    parser.process(app);

    QTextStream out(stdout);
    const int hubCount = qBound(0, parser.value(hubsOption).toInt(), 16);
    const int classSize = qBound(0, parser.value(classOption).toInt(), 200);

    // The emulator stands in for the receivers plugged into this machine.
    auto& emulator = TavioEmulator::Emulator::instance();
    for (int i = 1; i <= hubCount; ++i) {
        TavioEmulator::HubConfig config;
        config.kind = 3;
        config.serial = 0x5A000000ull + quint64(i);
        config.driverVersion = u"6.2.3.4";
        TavioEmulator::addTwoPointFourGHzHub(emulator, config, emulatedClass(i, classSize));
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
    for (Hub* hub : std::as_const(hubs)) {
        auto* tavioHub = qobject_cast<TwoPointFourGHzHub*>(hub);
        if (!tavioHub)
            continue;
        const bool idle = tavioHub->state() == TwoPointFourGHzHub::State_Idle;
        out << "  hub " << hub->handle() << " \"" << tavioHub->name() << "\" serial 0x"
            << QString::number(hub->uid(), 16) << ", " << (idle ? "idle" : "busy")
            << ", board pens " << hub->penCount()
            << (hub->isTouchSupported() ? ", touch" : ", no touch") << "\n";
        QList<DeviceDisplayInfo> devices;
        system.getTavioVoteDisplayInfoList(hub->handle(), devices);
        listDevices(out, "voters", devices);
        system.getTavioExpressionDisplayInfoList(hub->handle(), devices);
        listDevices(out, "answer devices", devices);
        system.getTavioSlateDisplayInfoList(hub->handle(), devices);
        listDevices(out, "slates", devices);
    }

    system.shutdown();
    out << "Shut down.\n";
    return 0;
}
