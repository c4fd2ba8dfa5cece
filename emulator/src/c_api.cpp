// The board library's C entry points. Calls for an unknown handle do nothing and getters then
// answer 0; once the library is being unloaded every call is a no-op.
#include "emulator_p.h"

#define TAVIO_C_EXPORT extern "C" __attribute__((visibility("default")))

using namespace TavioEmulator;

namespace {

// Runs f on the settings of the hub behind `handle`; `fallback` when there is no such hub.
template <class R, class F>
R withSettings(int handle, R fallback, F&& f)
{
    EmulatorImpl* emulator = currentEmulator();
    if (!emulator)
        return fallback;
    std::shared_ptr<HubImpl> hub = emulator->findHub(handle);
    if (!hub)
        return fallback;
    return hub->withSettings(std::forward<F>(f));
}

template <class F>
void updateSettings(int handle, F&& f)
{
    withSettings(handle, 0, [&f](BoardSettings& settings) {
        f(settings);
        return 0;
    });
}

} // namespace

// Connection and enumeration

#if !defined(TAVIOEMU_MINIMAL)
TAVIO_C_EXPORT int tavioAttach(void)
{
    EmulatorImpl* emulator = currentEmulator();
    return emulator ? emulator->attach() : 0;
}
#endif

TAVIO_C_EXPORT void tavioDetach(void)
{
    if (EmulatorImpl* emulator = currentEmulator())
        emulator->detach();
}

TAVIO_C_EXPORT int tavioInterface(void) { return 1; }

TAVIO_C_EXPORT int tavioGetDeviceCount(void)
{
    EmulatorImpl* emulator = currentEmulator();
    return emulator ? emulator->deviceCount() : 0;
}

TAVIO_C_EXPORT unsigned char tavioEnumDeviceInfo(int index, void* info)
{
    EmulatorImpl* emulator = currentEmulator();
    if (!emulator)
        return 0;
    return emulator->fillRecord(index, static_cast<unsigned char*>(info)) ? 1 : 0;
}

TAVIO_C_EXPORT void tavioSetPnpCallback(void (*cb)(void* ctx), void* ctx)
{
    if (EmulatorImpl* emulator = currentEmulator())
        emulator->setPnpCallback(cb, ctx);
}

// Packets

TAVIO_C_EXPORT void tavioSetCallback(int handle,
    void (*cb)(int handle, const unsigned char* data, unsigned int length, void* ctx), void* ctx)
{
    if (EmulatorImpl* emulator = currentEmulator())
        emulator->setPacketCallback(handle, cb, ctx);
}

TAVIO_C_EXPORT void tavioClearCallback(int handle, void* cb, void* ctx)
{
    (void)ctx; // the callback is identified by its address alone
    if (EmulatorImpl* emulator = currentEmulator())
        emulator->clearCallback(handle, cb);
}

TAVIO_C_EXPORT int tavioSendCommand(int a, int b)
{
    (void)a;
    (void)b;
    return 0;
}

TAVIO_C_EXPORT int tavioWritePacket(int handle, const char* data, int length)
{
    EmulatorImpl* emulator = currentEmulator();
    return emulator ? emulator->writePacket(handle, data, length) : -1;
}

TAVIO_C_EXPORT void tavioSetXferMask(int handle, int mask)
{
    updateSettings(handle, [mask](BoardSettings& settings) { settings.xferMask = mask; });
}

// Pen and touch routing

TAVIO_C_EXPORT void tavioSetPointingDeviceDestination(
    int handle, unsigned char pen, int flag, unsigned char mode)
{
    updateSettings(handle, [=](BoardSettings& settings) {
        settings.penDestination[pen] = mode;
        settings.penDestinationFlag[pen] = flag != 0;
        settings.penDestinationExtra[pen] = false;
    });
}

#if !defined(TAVIOEMU_MINIMAL)
TAVIO_C_EXPORT void tavioSetPointingDeviceDestinationEx(
    int handle, unsigned char pen, int flag, unsigned char mode, int extra)
{
    updateSettings(handle, [=](BoardSettings& settings) {
        settings.penDestination[pen] = mode;
        settings.penDestinationFlag[pen] = flag != 0;
        settings.penDestinationExtra[pen] = extra != 0;
    });
}

TAVIO_C_EXPORT unsigned char tavioGetPointingDeviceDestination(
    int handle, unsigned char pen, int zero)
{
    (void)zero;
    return withSettings(handle, static_cast<unsigned char>(0),
        [pen](BoardSettings& settings) { return settings.penDestination[pen]; });
}
#endif

TAVIO_C_EXPORT void tavioSetTouchDestination(int handle, unsigned char mode)
{
    updateSettings(handle, [mode](BoardSettings& settings) {
        settings.touchDestination = mode;
        settings.touchDestinationExtra = false;
    });
}

#if !defined(TAVIOEMU_MINIMAL)
TAVIO_C_EXPORT void tavioSetTouchDestinationEx(int handle, unsigned char mode, int extra)
{
    updateSettings(handle, [=](BoardSettings& settings) {
        settings.touchDestination = mode;
        settings.touchDestinationExtra = extra != 0;
    });
}

TAVIO_C_EXPORT unsigned char tavioGetTouchDestination(int handle)
{
    return withSettings(handle, static_cast<unsigned char>(0),
        [](BoardSettings& settings) { return settings.touchDestination; });
}
#endif

TAVIO_C_EXPORT void tavioSetTouchEnabled(int handle, int on)
{
    updateSettings(handle, [on](BoardSettings& settings) { settings.touchEnabled = on != 0; });
}

TAVIO_C_EXPORT int tavioGetTouchEnabled(int handle)
{
    return withSettings(
        handle, 0, [](BoardSettings& settings) { return settings.touchEnabled ? 1 : 0; });
}

TAVIO_C_EXPORT void tavioSetTouchSystemRedirectionEnabled(int handle, int on)
{
    updateSettings(
        handle, [on](BoardSettings& settings) { settings.touchSystemRedirection = on != 0; });
}

#if !defined(TAVIOEMU_MINIMAL)
TAVIO_C_EXPORT unsigned char tavioGetTouchSystemRedirectionEnabled(int handle)
{
    return withSettings(handle, static_cast<unsigned char>(0), [](BoardSettings& settings) {
        return static_cast<unsigned char>(settings.touchSystemRedirection ? 1 : 0);
    });
}
#endif

TAVIO_C_EXPORT void tavioSendTouchPacketToSystem(
    int handle, const unsigned char* data, unsigned char length)
{
    if (!data && length > 0)
        return;
    updateSettings(handle, [=](BoardSettings& settings) {
        settings.touchPacketsToSystem.emplace_back(data, data + length);
    });
}

TAVIO_C_EXPORT void tavioSetLATEDetection(int handle, int on)
{
    updateSettings(handle, [on](BoardSettings& settings) { settings.lateDetection = on != 0; });
}

#if !defined(TAVIOEMU_MINIMAL)
TAVIO_C_EXPORT unsigned char tavioGetLATEDetection(int handle)
{
    return withSettings(handle, static_cast<unsigned char>(0), [](BoardSettings& settings) {
        return static_cast<unsigned char>(settings.lateDetection ? 1 : 0);
    });
}
#endif

TAVIO_C_EXPORT unsigned char tavioGetHIDCoordinateReportMode(int handle)
{
    return withSettings(handle, static_cast<unsigned char>(0),
        [](BoardSettings& settings) { return settings.hidCoordinateReportMode; });
}

TAVIO_C_EXPORT void tavioSetHIDCoordinateReportMode(int handle, unsigned char mode)
{
    updateSettings(
        handle, [mode](BoardSettings& settings) { settings.hidCoordinateReportMode = mode; });
}

TAVIO_C_EXPORT void tavioReverseButtons(int handle, int on)
{
    updateSettings(handle, [on](BoardSettings& settings) { settings.buttonsReversed = on != 0; });
}

TAVIO_C_EXPORT int tavioIsSomethingOnBoard(int handle)
{
    (void)handle;
    return 0;
}

// Inspection for hosts' tests: with the reduced build the C++ interface is not reachable, so
// these read back what the setters stored.

TAVIO_C_EXPORT unsigned char tavioemuTouchDestination(int handle)
{
    return withSettings(handle, static_cast<unsigned char>(0),
        [](BoardSettings& settings) { return settings.touchDestination; });
}

TAVIO_C_EXPORT unsigned char tavioemuPenDestination(int handle, unsigned char pen)
{
    return withSettings(handle, static_cast<unsigned char>(0),
        [pen](BoardSettings& settings) { return settings.penDestination[pen]; });
}

// The driver lock

TAVIO_C_EXPORT void tavioLock(void)
{
    if (EmulatorImpl* emulator = currentEmulator())
        emulator->lockDriver();
}

TAVIO_C_EXPORT void tavioUnlock(void)
{
    if (EmulatorImpl* emulator = currentEmulator())
        emulator->unlockDriver();
}

// Functions the emulated receivers do not need: they answer like a board library with nothing
// to report.

TAVIO_C_EXPORT int tavioOpenSynchronousChannel(int, int, int) { return -1; }

TAVIO_C_EXPORT void tavioCloseSynchronousChannel(int, int) { }

TAVIO_C_EXPORT int tavioReadSynchronousPacket(int, int, int, int, int) { return -1; }

TAVIO_C_EXPORT int tavioSetCalibrationMode(int, int) { return 0; }

TAVIO_C_EXPORT void tavioSetCalibrationData(int, int) { }

TAVIO_C_EXPORT void tavioSetWirelessCalibrationData(int, int) { }

TAVIO_C_EXPORT void tavioSetCalibrationDataEx(int, int, int, int) { }

TAVIO_C_EXPORT void tavioGetCalibrationPoints(int, int, int) { }

TAVIO_C_EXPORT void tavioLibraryVersionNumber(int, int, int, int) { }

TAVIO_C_EXPORT int tavioSerialGetConnected(int) { return 0; }

TAVIO_C_EXPORT int tavioSerialConnect(int) { return 0; }

TAVIO_C_EXPORT int tavioSerialDisconnect(void) { return 0; }

TAVIO_C_EXPORT void tavioSerialSetStartupMode(int) { }

TAVIO_C_EXPORT int tavioSerialGetStartupMode(void) { return 0; }

TAVIO_C_EXPORT void tavioSetDoubleClickDistance(int, int) { }

TAVIO_C_EXPORT void tavioSetDriverDebugMode(int, int, int) { }

TAVIO_C_EXPORT void tavioEcho(int, int, int) { }

TAVIO_C_EXPORT void tavioInject(int, int, int) { }

TAVIO_C_EXPORT void tavioSetTwoFingerScroll(int, int) { }
