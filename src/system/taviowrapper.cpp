#include "taviowrapper.h"

#include "boarddeviceinfo.h"
#include "platform/platform.h"

#include <QtCore/QLibrary>

#include <cstring>

namespace Taviosystem {

const char* const TavioWrapper::DefaultLibraryName = "tavioboardex";

TavioWrapper::TavioWrapper(const QString& libraryName)
    : m_libraryName(libraryName)
{
}

TavioWrapper::~TavioWrapper()
{
    if (m_module) {
        // Attach and detach pair per wrapper: one already detached (by the system's shutdown)
        // leaves the library alone, since another wrapper may have attached it since.
        if (m_attached)
            detach();
        m_module->unload();
        delete m_module;
        m_module = nullptr;
    }
    clearFunctions();
}

void TavioWrapper::clearFunctions()
{
#define TAVIO_CLEAR_POINTER(name, result, params) m_##name = nullptr;
    TAVIO_BOARD_FUNCTIONS(TAVIO_CLEAR_POINTER)
#undef TAVIO_CLEAR_POINTER
}

void TavioWrapper::resolveFunctions()
{
#define TAVIO_RESOLVE_POINTER(name, result, params)                                                \
    m_##name = reinterpret_cast<name##_t>(m_module->resolve(#name));
    TAVIO_BOARD_FUNCTIONS(TAVIO_RESOLVE_POINTER)
#undef TAVIO_RESOLVE_POINTER
}

bool TavioWrapper::hasFunction(const char* name) const
{
#define TAVIO_HAS_POINTER(fn, result, params)                                                      \
    if (std::strcmp(name, #fn) == 0)                                                               \
        return m_##fn != nullptr;
    TAVIO_BOARD_FUNCTIONS(TAVIO_HAS_POINTER)
#undef TAVIO_HAS_POINTER
    return false;
}

// May run on the library's plug-and-play thread. The functions are resolved once, when the
// library is first loaded; later calls only attach again, so no pointer changes while other
// threads call through it.
int TavioWrapper::load()
{
    if (!m_module) {
        m_module = Platform::loadLibrary(m_libraryName);
        if (!m_module)
            return 0;
        resolveFunctions();
    }
    if (!m_tavioAttach)
        return 0;
    m_attached = true;
    return m_tavioAttach();
}

void TavioWrapper::detach()
{
    m_attached = false;
    if (m_tavioDetach)
        m_tavioDetach();
}

int TavioWrapper::libraryInterface() { return m_tavioInterface ? m_tavioInterface() : 0; }

void TavioWrapper::setCallback(int handle, PacketCallback callback, void* context)
{
    if (m_tavioSetCallback)
        m_tavioSetCallback(handle, callback, context);
}

void TavioWrapper::clearCallback(int handle, PacketCallback callback, void* context)
{
    if (m_tavioClearCallback)
        m_tavioClearCallback(handle, reinterpret_cast<void*>(callback), context);
}

void TavioWrapper::setPnpCallback(PnpCallback callback, void* context)
{
    if (m_tavioSetPnpCallback)
        m_tavioSetPnpCallback(callback, context);
}

void TavioWrapper::clearPnpCallback(PnpCallback callback, void* context)
{
    if (m_tavioClearCallback)
        m_tavioClearCallback(0, reinterpret_cast<void*>(callback), context);
}

int TavioWrapper::sendCommand(int a, int b)
{
    return m_tavioSendCommand ? m_tavioSendCommand(a, b) : -1;
}

int TavioWrapper::writePacket(int handle, const char* data, int length)
{
    return m_tavioWritePacket ? m_tavioWritePacket(handle, data, length) : -1;
}

void TavioWrapper::setXferMask(int handle, int mask)
{
    if (m_tavioSetXferMask)
        m_tavioSetXferMask(handle, mask);
}

int TavioWrapper::getDeviceCount() { return m_tavioGetDeviceCount ? m_tavioGetDeviceCount() : 0; }

bool TavioWrapper::enumDeviceInfo(int index, BoardDeviceInfo* info)
{
    if (!m_tavioEnumDeviceInfo || !info)
        return false;
    return m_tavioEnumDeviceInfo(index, info->bytes) != 0;
}

void TavioWrapper::setPointingDeviceDestination(
    int handle, unsigned char pen, bool flag, unsigned char mode)
{
    if (m_tavioSetPointingDeviceDestination)
        m_tavioSetPointingDeviceDestination(handle, pen, flag ? 1 : 0, mode);
}

void TavioWrapper::setPointingDeviceDestinationEx(
    int handle, unsigned char pen, bool flag, unsigned char mode, bool extra)
{
    if (m_tavioSetPointingDeviceDestinationEx)
        m_tavioSetPointingDeviceDestinationEx(handle, pen, flag ? 1 : 0, mode, extra ? 1 : 0);
    else if (m_tavioSetPointingDeviceDestination)
        m_tavioSetPointingDeviceDestination(handle, pen, flag ? 1 : 0, mode);
}

unsigned char TavioWrapper::getPointingDeviceDestination(int handle, unsigned char pen, int zero)
{
    return m_tavioGetPointingDeviceDestination
        ? m_tavioGetPointingDeviceDestination(handle, pen, zero)
        : 255;
}

void TavioWrapper::setTouchDestination(int handle, unsigned char mode)
{
    if (m_tavioSetTouchDestination)
        m_tavioSetTouchDestination(handle, mode);
}

void TavioWrapper::setTouchDestinationEx(int handle, unsigned char mode, bool extra)
{
    if (m_tavioSetTouchDestinationEx)
        m_tavioSetTouchDestinationEx(handle, mode, extra ? 1 : 0);
    else if (m_tavioSetTouchDestination)
        m_tavioSetTouchDestination(handle, mode);
}

unsigned char TavioWrapper::getTouchDestination(int handle)
{
    return m_tavioGetTouchDestination ? m_tavioGetTouchDestination(handle) : 255;
}

void TavioWrapper::setTouchEnabled(int handle, bool enabled)
{
    if (m_tavioSetTouchEnabled)
        m_tavioSetTouchEnabled(handle, enabled ? 1 : 0);
}

bool TavioWrapper::getTouchEnabled(int handle)
{
    return m_tavioGetTouchEnabled ? m_tavioGetTouchEnabled(handle) == 1 : true;
}

void TavioWrapper::setTouchSystemRedirectionEnabled(int handle, bool enabled)
{
    if (m_tavioSetTouchSystemRedirectionEnabled)
        m_tavioSetTouchSystemRedirectionEnabled(handle, enabled ? 1 : 0);
}

bool TavioWrapper::getTouchSystemRedirectionEnabled(int handle)
{
    return m_tavioGetTouchSystemRedirectionEnabled
        ? m_tavioGetTouchSystemRedirectionEnabled(handle) == 1
        : true;
}

void TavioWrapper::setLATEDetection(int handle, int on)
{
    if (m_tavioSetLATEDetection)
        m_tavioSetLATEDetection(handle, on);
}

unsigned char TavioWrapper::getLATEDetection(int handle)
{
    return m_tavioGetLATEDetection ? m_tavioGetLATEDetection(handle) : 255;
}

bool TavioWrapper::isSomethingOnBoard(int handle)
{
    return m_tavioIsSomethingOnBoard ? m_tavioIsSomethingOnBoard(handle) != 0 : false;
}

void TavioWrapper::setTwoFingerScroll(int a, int b)
{
    if (m_tavioSetTwoFingerScroll)
        m_tavioSetTwoFingerScroll(a, b);
}

int TavioWrapper::openSynchronousChannel(int a, int b, int c)
{
    return m_tavioOpenSynchronousChannel ? m_tavioOpenSynchronousChannel(a, b, c) : -1;
}

void TavioWrapper::closeSynchronousChannel(int a, int b)
{
    if (m_tavioCloseSynchronousChannel)
        m_tavioCloseSynchronousChannel(a, b);
}

int TavioWrapper::readSynchronousPacket(int a, int b, int c, int d, int e)
{
    return m_tavioReadSynchronousPacket ? m_tavioReadSynchronousPacket(a, b, c, d, e) : -1;
}

bool TavioWrapper::setCalibrationMode(int a, int b)
{
    return m_tavioSetCalibrationMode ? m_tavioSetCalibrationMode(a, b) != 0 : false;
}

void TavioWrapper::setCalibrationData(int a, int b)
{
    if (m_tavioSetCalibrationData)
        m_tavioSetCalibrationData(a, b);
}

void TavioWrapper::setCalibrationDataEx(int a, int b, int c, int d)
{
    if (m_tavioSetCalibrationDataEx)
        m_tavioSetCalibrationDataEx(a, b, c, d);
}

void TavioWrapper::setWirelessCalibrationData(int a, int b)
{
    if (m_tavioSetWirelessCalibrationData)
        m_tavioSetWirelessCalibrationData(a, b);
}

void TavioWrapper::getCalibrationPoints(int a, int b, int c)
{
    if (m_tavioGetCalibrationPoints)
        m_tavioGetCalibrationPoints(a, b, c);
}

unsigned char TavioWrapper::getHIDCoordinateReportMode(int handle)
{
    return m_tavioGetHIDCoordinateReportMode ? m_tavioGetHIDCoordinateReportMode(handle) : 0;
}

void TavioWrapper::setHIDCoordinateReportMode(int handle, unsigned char mode)
{
    if (m_tavioSetHIDCoordinateReportMode)
        m_tavioSetHIDCoordinateReportMode(handle, mode);
}

void TavioWrapper::libraryVersionNumber(int a, int b, int c, int d)
{
    if (m_tavioLibraryVersionNumber)
        m_tavioLibraryVersionNumber(a, b, c, d);
}

void TavioWrapper::lock()
{
    if (m_tavioLock)
        m_tavioLock();
}

void TavioWrapper::unlock()
{
    if (m_tavioUnlock)
        m_tavioUnlock();
}

bool TavioWrapper::serialConnect(int a)
{
    return m_tavioSerialConnect ? m_tavioSerialConnect(a) != 0 : false;
}

bool TavioWrapper::serialDisconnect()
{
    return m_tavioSerialDisconnect ? m_tavioSerialDisconnect() != 0 : false;
}

bool TavioWrapper::serialGetConnected(int a)
{
    return m_tavioSerialGetConnected ? m_tavioSerialGetConnected(a) != 0 : false;
}

void TavioWrapper::serialSetStartupMode(int a)
{
    if (m_tavioSerialSetStartupMode)
        m_tavioSerialSetStartupMode(a);
}

int TavioWrapper::serialGetStartupMode()
{
    return m_tavioSerialGetStartupMode ? m_tavioSerialGetStartupMode() : 0;
}

void TavioWrapper::setDoubleClickDistance(int a, int b)
{
    if (m_tavioSetDoubleClickDistance)
        m_tavioSetDoubleClickDistance(a, b);
}

void TavioWrapper::setDriverDebugMode(int a, int b, int c)
{
    if (m_tavioSetDriverDebugMode)
        m_tavioSetDriverDebugMode(a, b, c);
}

void TavioWrapper::echo(int a, int b, int c)
{
    if (m_tavioEcho)
        m_tavioEcho(a, b, c);
}

void TavioWrapper::inject(int a, int b, int c)
{
    if (m_tavioInject)
        m_tavioInject(a, b, c);
}

void TavioWrapper::sendTouchPacketToSystem(int handle, const unsigned char* data, int length)
{
    if (m_tavioSendTouchPacketToSystem)
        m_tavioSendTouchPacketToSystem(handle, data, static_cast<unsigned char>(length));
}

void TavioWrapper::reverseButtons(int handle, bool on)
{
    if (m_tavioReverseButtons)
        m_tavioReverseButtons(handle, on ? 1 : 0);
}

} // namespace Taviosystem
