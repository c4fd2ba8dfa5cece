#pragma once

#include "abstracthardwarewrapper.h"

#include <QtCore/QString>

#include <atomic>

QT_BEGIN_NAMESPACE
class QLibrary;
QT_END_NAMESPACE

namespace Taviosystem {

// Every function of the board library, in member order: name, result, parameters.
#define TAVIO_BOARD_FUNCTIONS(X)                                                                   \
    X(tavioAttach, int, (void))                                                                    \
    X(tavioDetach, void, (void))                                                                   \
    X(tavioInterface, int, (void))                                                                 \
    X(tavioSetCallback, void, (int, AbstractHardwareWrapper::PacketCallback, void*))               \
    X(tavioClearCallback, void, (int, void*, void*))                                               \
    X(tavioSendCommand, int, (int, int))                                                           \
    X(tavioWritePacket, int, (int, const char*, int))                                              \
    X(tavioSetXferMask, void, (int, int))                                                          \
    X(tavioGetDeviceCount, int, (void))                                                            \
    X(tavioEnumDeviceInfo, unsigned char, (int, void*))                                            \
    X(tavioSetPnpCallback, void, (AbstractHardwareWrapper::PnpCallback, void*))                    \
    X(tavioSetPointingDeviceDestination, void, (int, unsigned char, int, unsigned char))           \
    X(tavioSetPointingDeviceDestinationEx, void, (int, unsigned char, int, unsigned char, int))    \
    X(tavioGetPointingDeviceDestination, unsigned char, (int, unsigned char, int))                 \
    X(tavioSetTouchDestination, void, (int, unsigned char))                                        \
    X(tavioSetTouchDestinationEx, void, (int, unsigned char, int))                                 \
    X(tavioGetTouchDestination, unsigned char, (int))                                              \
    X(tavioSetTouchEnabled, void, (int, int))                                                      \
    X(tavioGetTouchEnabled, int, (int))                                                            \
    X(tavioSetTouchSystemRedirectionEnabled, void, (int, int))                                     \
    X(tavioGetTouchSystemRedirectionEnabled, unsigned char, (int))                                 \
    X(tavioOpenSynchronousChannel, int, (int, int, int))                                           \
    X(tavioCloseSynchronousChannel, void, (int, int))                                              \
    X(tavioReadSynchronousPacket, int, (int, int, int, int, int))                                  \
    X(tavioSetCalibrationMode, int, (int, int))                                                    \
    X(tavioSetCalibrationData, void, (int, int))                                                   \
    X(tavioSetWirelessCalibrationData, void, (int, int))                                           \
    X(tavioSetCalibrationDataEx, void, (int, int, int, int))                                       \
    X(tavioGetCalibrationPoints, void, (int, int, int))                                            \
    X(tavioGetHIDCoordinateReportMode, unsigned char, (int))                                       \
    X(tavioSetHIDCoordinateReportMode, void, (int, unsigned char))                                 \
    X(tavioLibraryVersionNumber, void, (int, int, int, int))                                       \
    X(tavioLock, void, (void))                                                                     \
    X(tavioUnlock, void, (void))                                                                   \
    X(tavioSerialGetConnected, int, (int))                                                         \
    X(tavioSerialConnect, int, (int))                                                              \
    X(tavioSerialDisconnect, int, (void))                                                          \
    X(tavioSerialSetStartupMode, void, (int))                                                      \
    X(tavioSerialGetStartupMode, int, (void))                                                      \
    X(tavioSetDoubleClickDistance, void, (int, int))                                               \
    X(tavioSetDriverDebugMode, void, (int, int, int))                                              \
    X(tavioEcho, void, (int, int, int))                                                            \
    X(tavioInject, void, (int, int, int))                                                          \
    X(tavioSendTouchPacketToSystem, void, (int, const unsigned char*, unsigned char))              \
    X(tavioSetLATEDetection, void, (int, int))                                                     \
    X(tavioGetLATEDetection, unsigned char, (int))                                                 \
    X(tavioIsSomethingOnBoard, int, (int))                                                         \
    X(tavioSetTwoFingerScroll, void, (int, int))                                                   \
    X(tavioReverseButtons, void, (int, int))

// Loads the board library at run time and turns each of its functions into an operation that
// answers a fixed default when the function is missing. Holds no lock: the library is relied
// on to be safe for concurrent calls.
class TavioWrapper : public AbstractHardwareWrapper
{
public:
    static const char* const DefaultLibraryName; // "tavioboardex"

    explicit TavioWrapper(const QString& libraryName = QString::fromLatin1(DefaultLibraryName));
    ~TavioWrapper() override;

    QString libraryName() const { return m_libraryName; }
    bool isLoaded() const override { return m_module != nullptr; }

    int load() override;
    void detach() override;
    int libraryInterface() override;
    void setCallback(int handle, PacketCallback callback, void* context) override;
    void clearCallback(int handle, PacketCallback callback, void* context) override;
    void setPnpCallback(PnpCallback callback, void* context) override;
    void clearPnpCallback(PnpCallback callback, void* context) override;
    int sendCommand(int a, int b) override;
    int writePacket(int handle, const char* data, int length) override;
    void setXferMask(int handle, int mask) override;
    int getDeviceCount() override;
    bool enumDeviceInfo(int index, BoardDeviceInfo* info) override;
    void setPointingDeviceDestination(
        int handle, unsigned char pen, bool flag, unsigned char mode) override;
    void setPointingDeviceDestinationEx(
        int handle, unsigned char pen, bool flag, unsigned char mode, bool extra) override;
    unsigned char getPointingDeviceDestination(int handle, unsigned char pen, int zero) override;
    void setTouchDestination(int handle, unsigned char mode) override;
    void setTouchDestinationEx(int handle, unsigned char mode, bool extra) override;
    unsigned char getTouchDestination(int handle) override;
    void setTouchEnabled(int handle, bool enabled) override;
    bool getTouchEnabled(int handle) override;
    void setTouchSystemRedirectionEnabled(int handle, bool enabled) override;
    bool getTouchSystemRedirectionEnabled(int handle) override;
    void setLATEDetection(int handle, int on) override;
    unsigned char getLATEDetection(int handle) override;
    bool isSomethingOnBoard(int handle) override;
    void setTwoFingerScroll(int a, int b) override;
    int openSynchronousChannel(int a, int b, int c) override;
    void closeSynchronousChannel(int a, int b) override;
    int readSynchronousPacket(int a, int b, int c, int d, int e) override;
    bool setCalibrationMode(int a, int b) override;
    void setCalibrationData(int a, int b) override;
    void setCalibrationDataEx(int a, int b, int c, int d) override;
    void setWirelessCalibrationData(int a, int b) override;
    void getCalibrationPoints(int a, int b, int c) override;
    unsigned char getHIDCoordinateReportMode(int handle) override;
    void setHIDCoordinateReportMode(int handle, unsigned char mode) override;
    void libraryVersionNumber(int a, int b, int c, int d) override;
    void lock() override;
    void unlock() override;
    bool serialConnect(int a) override;
    bool serialDisconnect() override;
    bool serialGetConnected(int a) override;
    void serialSetStartupMode(int a) override;
    int serialGetStartupMode() override;
    void setDoubleClickDistance(int a, int b) override;
    void setDriverDebugMode(int a, int b, int c) override;
    void echo(int a, int b, int c) override;
    void inject(int a, int b, int c) override;
    void sendTouchPacketToSystem(int handle, const unsigned char* data, int length) override;
    void reverseButtons(int handle, bool on) override;

    // Whether the loaded library offers the function (for diagnostics and tests).
    bool hasFunction(const char* name) const;

private:
    void resolveFunctions();
    void clearFunctions();

    QString m_libraryName;
    QLibrary* m_module = nullptr;

#define TAVIO_DECLARE_POINTER(name, result, params)                                                \
    typedef result(*name##_t) params;                                                              \
    name##_t m_##name = nullptr;
    TAVIO_BOARD_FUNCTIONS(TAVIO_DECLARE_POINTER)
#undef TAVIO_DECLARE_POINTER

    // Attached since the last detach (load() may run on the plug-and-play thread).
    std::atomic<bool> m_attached { false };
};

} // namespace Taviosystem
