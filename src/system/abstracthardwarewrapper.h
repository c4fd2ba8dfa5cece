#pragma once

#include <QtCore/QtGlobal>

namespace Taviosystem {

struct BoardDeviceInfo;

// The system's view of the board library. Every operation tolerates a missing library
// function by answering a fixed default.
class AbstractHardwareWrapper
{
public:
    typedef void (*PacketCallback)(
        int handle, const unsigned char* data, unsigned int length, void* context);
    typedef void (*PnpCallback)(void* context);

    virtual ~AbstractHardwareWrapper() = default;
    virtual int load() = 0;
    virtual void detach() = 0;
    virtual int libraryInterface() = 0;
    virtual void setCallback(int handle, PacketCallback callback, void* context) = 0;
    virtual void clearCallback(int handle, PacketCallback callback, void* context) = 0;
    virtual void setPnpCallback(PnpCallback callback, void* context) = 0;
    virtual void clearPnpCallback(PnpCallback callback, void* context) = 0;
    virtual int sendCommand(int a, int b) = 0;
    virtual int writePacket(int handle, const char* data, int length) = 0;
    virtual void setXferMask(int handle, int mask) = 0;
    virtual int getDeviceCount() = 0;
    virtual bool enumDeviceInfo(int index, BoardDeviceInfo* info) = 0;
    virtual void setPointingDeviceDestination(
        int handle, unsigned char pen, bool flag, unsigned char mode)
        = 0;
    virtual void setPointingDeviceDestinationEx(
        int handle, unsigned char pen, bool flag, unsigned char mode, bool extra)
        = 0;
    virtual unsigned char getPointingDeviceDestination(int handle, unsigned char pen, int zero) = 0;
    virtual void setTouchDestination(int handle, unsigned char mode) = 0;
    virtual void setTouchDestinationEx(int handle, unsigned char mode, bool extra) = 0;
    virtual unsigned char getTouchDestination(int handle) = 0;
    virtual void setTouchEnabled(int handle, bool enabled) = 0;
    virtual bool getTouchEnabled(int handle) = 0;
    virtual void setTouchSystemRedirectionEnabled(int handle, bool enabled) = 0;
    virtual bool getTouchSystemRedirectionEnabled(int handle) = 0;
    virtual void setLATEDetection(int handle, int on) = 0;
    virtual unsigned char getLATEDetection(int handle) = 0;
    virtual bool isSomethingOnBoard(int handle) = 0;
    virtual void setTwoFingerScroll(int a, int b) = 0;
    virtual int openSynchronousChannel(int a, int b, int c) = 0;
    virtual void closeSynchronousChannel(int a, int b) = 0;
    virtual int readSynchronousPacket(int a, int b, int c, int d, int e) = 0;
    virtual bool setCalibrationMode(int a, int b) = 0;
    virtual void setCalibrationData(int a, int b) = 0;
    virtual void setCalibrationDataEx(int a, int b, int c, int d) = 0;
    virtual void setWirelessCalibrationData(int a, int b) = 0;
    virtual void getCalibrationPoints(int a, int b, int c) = 0;
    virtual unsigned char getHIDCoordinateReportMode(int handle) = 0;
    virtual void setHIDCoordinateReportMode(int handle, unsigned char mode) = 0;
    virtual void libraryVersionNumber(int a, int b, int c, int d) = 0;
    virtual void lock() = 0;
    virtual void unlock() = 0;
    virtual bool serialConnect(int a) = 0;
    virtual bool serialDisconnect() = 0;
    virtual bool serialGetConnected(int a) = 0;
    virtual void serialSetStartupMode(int a) = 0;
    virtual int serialGetStartupMode() = 0;
    virtual void setDoubleClickDistance(int a, int b) = 0;
    virtual void setDriverDebugMode(int a, int b, int c) = 0;
    virtual void echo(int a, int b, int c) = 0;
    virtual void inject(int a, int b, int c) = 0;
    virtual void sendTouchPacketToSystem(int handle, const unsigned char* data, int length) = 0;
    virtual void reverseButtons(int handle, bool on) = 0;

    // Whether the library is loaded (the system's test of success).
    virtual bool isLoaded() const = 0;
};

} // namespace Taviosystem
