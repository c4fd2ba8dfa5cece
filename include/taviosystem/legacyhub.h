#pragma once

#include <taviosystem/hub.h>

#include <QtCore/QList>
#include <QtCore/QString>

#include <mutex>

QT_BEGIN_NAMESPACE
class QSettings;
QT_END_NAMESPACE

namespace Taviosystem {

class LegacyTavioboard;
class RegistrationCode;

// The older radio hub, reached over USB or a serial line. It does not report which voters and
// slates belong to it: the library keeps that list itself, per hub, in the shared settings file
// "Corvellan/TavioSystem/TavioSystem.ini" under the machine's application-data folder.
class TAVIOSYSTEM_EXPORT LegacyHub : public Hub
{
    Q_OBJECT
public:
    // Pen packet offsets of the two framings.
    static constexpr int Packet_Offset_PenId = 7;
    static constexpr int Packet_Offset_X = 3;
    static constexpr int Packet_Offset_Y = 5;
    static constexpr int Packet_Offset_Button = 7;
    static constexpr int Packet_Offset_Serial_PenId = 6;
    static constexpr int Packet_Offset_Serial_X = 3;
    static constexpr int Packet_Offset_Serial_Y = 6;
    static constexpr int Packet_Offset_Serial_Button = 3;
    static constexpr int Packet_Offset_Serial_Proximity = 3;
    // Milliseconds a serial hub has to answer ":VI".
    static constexpr int SerialEnableVoteWaitTime = 1000;

    LegacyHub(TavioSystem* system, int handle, quint64 uid, bool connected, bool hasBoard,
        int connectionType, int model, int penCount, int touches, int erasers,
        bool registrationDisabled, int vendorId, int productId);
    ~LegacyHub() override;

    static bool determineIfKX9Board(int model);
    static bool determineIfSupportsRegistration(int model);
    static int determinePenCount(int model);

    // Hub
    bool isPenPacket(const QByteArray& packet) override;
    void getPenData(const QByteArray& packet, unsigned char& pen, int& x, int& y, bool& tip,
        bool& barrel, bool& extra) override;
    bool isHubBusy() override { return false; }
    bool hasKX9Board() const override { return m_dualPenBoard; }
    bool supportsRegistration() const override { return m_supportsRegistration; }
    int penCount() const override { return m_penCount; }
    int vendorId() const override { return m_vendorId; }
    int productId() const override { return m_productId; }
    int getNumTouchesSupported() override;
    bool isTouchSupported() override;
    int getNumErasesSupported() override;
    bool isEraseSupported() override;
    void setConnected(bool connected) override;
    Type type() override { return Type_Legacy; }
    ConnectionType connectionType() override;
    bool getDeviceCount(Device::Type type, int* count) override;
    bool getDeviceList(Device::Type type, QList<Device*>* list) override;
    bool getCompleteDeviceList(QList<Device*>* list) override;
    void readRegisteredDevicesLists() override;
    // Runs on the packet thread.
    void processPacket(const QByteArray& packet) override;
    bool processPinNamingSessionResponse(
        const QByteArray& packet, unsigned int& uid, QString& name) override;
    bool stopSession() override;
    unsigned int getDeviceId(unsigned int address) override { return address; }
    bool setHubBusyCallback(HubBusyCallback, void*) override { return false; }

    // Radio configuration.
    bool configureHub();
    bool getSlateChannel(quint8& channel);
    bool getVoteChannel(quint8& channel);
    bool getBoardID(quint8& id);
    bool getRFBand(quint8& band);
    bool changeVoteChannel(quint8 channel);
    bool changeSlateChannel(quint8 channel);
    bool changeBoardID(quint8 id);
    bool useRFSlates();
    bool disableSlates();

    // Devices.
    bool readTavioteList(QList<Device*>* list);
    bool readTavioSlateList(QList<Device*>* list);
    int tavioboardCount();
    bool clearHub();
    bool clearHubOfVotes();
    bool clearHubOfSlates();
    bool clearVoteWithID(quint64 id);
    bool enableSlate(quint8 id);
    bool removeSlate(quint8 id);

    // Registration and the voter test.
    bool startVoteRegistrationSession();
    bool stopVoteRegistrationSession();
    bool startSlateRegistrationSession();
    bool stopSlateRegistrationSession();
    bool startSlatePINRegistration(quint8 slateId, const RegistrationCode& pin);
    bool startVoteTestSession();

    // The settings file's group of this hub: its uid in decimal with a board, else shared.
    QString storeGroup() const;

Q_SIGNALS:
    void voteDeviceRegistered(quint32 deviceId, bool batteryLow, int deviceVersion);
    void generatePinforSlateRegistration(quint8 Id);
    void slateDeviceRegistered(quint8 Id);

protected:
    bool preprocessTavioteSession() override;

private:
    void registerResponseHandlers();
    bool sendCommand(const QByteArray& command);
    int enableWaitTime() const;
    void forgetRegistrations();
    void writeDevicesInformation(Device::Type type);
    void readDevicesInformation(Device::Type type);
    void clearVoters();
    void clearSlates();
    bool isSerial() const { return m_connectionType == ConnectionType_Serial; }
    bool isUsb() const { return m_connectionType == ConnectionType_Usb; }

    LegacyTavioboard* m_board = nullptr;
    // The voter and slate lists: read on the host's threads, added to on the packet thread.
    mutable std::recursive_mutex m_devicesMutex;
    QList<Device*> m_taviotes;
    QList<Device*> m_slates;
    QSettings* m_settings = nullptr;
    quint8 m_slateChannel = 0;
    quint8 m_voteChannel = 0;
    quint8 m_boardId = 0;
    quint8 m_rfBand = 0;
    bool m_hasBoard = false;
    bool m_supportsRegistration = false;
    bool m_dualPenBoard = false;
    int m_penCount = 0;
    int m_touches = -1;
    int m_erasers = 0;
    int m_vendorId = 0;
    int m_productId = 0;
    QString m_expectedSlatePin;
    int m_connectionType = ConnectionType_Usb;
};

} // namespace Taviosystem
