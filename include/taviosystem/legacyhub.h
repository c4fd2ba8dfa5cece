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

/*!
    The older radio hub, reached over USB or a serial line.

    It does not report which voters and slates belong to it: the library keeps that list itself,
    per hub, in the shared settings file "Corvellan/TavioSystem/TavioSystem.ini" under the
    machine's application-data folder (a hub without a board shares the group "LegacyVoteHub"),
    so a class registered once is there again after a re-plug or a restart. Made and owned by
    the system; hosts set it up through LegacyhubRegistrationSession.

    Threads: operations run on the caller's thread and block it while the hub answers;
    registrations and votes arrive on the board library's packet thread, where their signals
    are emitted. A change of channel or board id forgets every registration.
*/
class TAVIOSYSTEM_EXPORT LegacyHub : public Hub
{
    Q_OBJECT
public:
    /*!
        \name Pen packet layout
        Offsets of the USB and serial pen packets.
    */
    //!@{
    static constexpr int Packet_Offset_PenId = 7; //!< USB pen packet: offset of the pen id bits.
    static constexpr int Packet_Offset_X = 3; //!< USB pen packet: offset of x.
    static constexpr int Packet_Offset_Y = 5; //!< USB pen packet: offset of y.
    static constexpr int Packet_Offset_Button = 7; //!< USB pen packet: offset of the button bits.
    /*! Serial pen packet: offset of the pen id bits. */
    static constexpr int Packet_Offset_Serial_PenId = 6;
    static constexpr int Packet_Offset_Serial_X = 3; //!< Serial pen packet: offset of x.
    static constexpr int Packet_Offset_Serial_Y = 6; //!< Serial pen packet: offset of y.
    /*! Serial pen packet: offset of the button bits. */
    static constexpr int Packet_Offset_Serial_Button = 3;
    /*! Serial pen packet: offset of the in-range bit. */
    static constexpr int Packet_Offset_Serial_Proximity = 3;
    //!@}
    /*! Milliseconds a serial hub has to answer ":VI". */
    static constexpr int SerialEnableVoteWaitTime = 1000;

    /*!
        Makes the hub of the receiver \a handle; the system does this from the receiver's record,
        never the host.
        \param connectionType 1 serial, 2 USB.
        \param model the board model: 800 to 899 is a dual-pen board without registration.
        \param touches a negative value asks the board.
    */
    LegacyHub(TavioSystem* system, int handle, quint64 uid, bool connected, bool hasBoard,
        int connectionType, int model, int penCount, int touches, int erasers,
        bool registrationDisabled, int vendorId, int productId);
    /*! Destroys the hub and its devices; the system does this. */
    ~LegacyHub() override;

    /*! Whether \a model is a dual-pen board (800 to 899). */
    static bool determineIfKX9Board(int model);
    /*! Whether a hub with board \a model registers devices (all but 800 to 899). */
    static bool determineIfSupportsRegistration(int model);
    /*! The pens of board \a model: 2 for 390 to 399 and 800 to 899, else 1. */
    static int determinePenCount(int model);

    bool isPenPacket(const QByteArray& packet) override;
    void getPenData(const QByteArray& packet, unsigned char& pen, int& x, int& y, bool& tip,
        bool& barrel, bool& extra) override;
    /*! False: the legacy hub has no busy state. */
    bool isHubBusy() override { return false; }
    /*! Whether the board is a dual-pen board. */
    bool hasKX9Board() const override { return m_dualPenBoard; }
    /*! Whether this hub registers devices. */
    bool supportsRegistration() const override { return m_supportsRegistration; }
    /*! The board's pens. */
    int penCount() const override { return m_penCount; }
    /*! The receiver's USB vendor id from its record. */
    int vendorId() const override { return m_vendorId; }
    /*! The receiver's USB product id from its record. */
    int productId() const override { return m_productId; }
    /*! The touches from the receiver's record, or asked of the board when it gave none. */
    int getNumTouchesSupported() override;
    /*! Whether getNumTouchesSupported() is above 0. */
    bool isTouchSupported() override;
    /*! The erasers from the receiver's record. */
    int getNumErasesSupported() override;
    /*! Whether the board has erasers. */
    bool isEraseSupported() override;
    /*!
        Attached: reads the radio settings (blocking) and loads the devices from the store.
        Away: forgets the voters in memory; the store keeps them.
    */
    void setConnected(bool connected) override;
    /*! Hub::Type_Legacy. */
    Type type() override { return Type_Legacy; }
    /*! Serial or USB, fixed when the hub was made. */
    ConnectionType connectionType() override;
    /*!
        Counts the board (0 or 1), slates or voters as listed; no hub traffic.
        \return false with Error_NotConnected.
    */
    bool getDeviceCount(Device::Type type, int* count) override;
    /*!
        Replaces \a list by the board, the slates or the voters, loading the lists from the store
        when empty; other types give an empty list.
        \return false with Error_NotConnected.
    */
    bool getDeviceList(Device::Type type, QList<Device*>* list) override;
    /*! The board, the voters, then the slates; false with Error_NotConnected. */
    bool getCompleteDeviceList(QList<Device*>* list) override;
    /*! Reads the slates and voters from the store again. */
    void readRegisteredDevicesLists() override;
    /*! Runs on the packet thread. */
    void processPacket(const QByteArray& packet) override;
    bool processPinNamingSessionResponse(
        const QByteArray& packet, unsigned int& uid, QString& name) override;
    /*!
        Ends the running session.
        \return true when none runs or the end was sent; false with Error_NotConnected or
        Error_CommsFailure.
    */
    bool stopSession() override;
    /*! \a address unchanged: legacy votes carry the device id itself. */
    unsigned int getDeviceId(unsigned int address) override { return address; }
    /*! False: the legacy hub reports no busy state. */
    bool setHubBusyCallback(HubBusyCallback, void*) override { return false; }

    /*!
        Reads the radio settings from the hub (up to 160 ms on serial). On USB a slate channel
        other than 1 or 2 is set to 1.
        \return false with Error_CommsFailure without an answer.
    */
    bool configureHub();
    /*! The slates' channel read by configureHub(); false while unknown. */
    bool getSlateChannel(quint8& channel);
    /*! The voters' channel; false while unknown. */
    bool getVoteChannel(quint8& channel);
    /*! The board id; false while unknown. */
    bool getBoardID(quint8& id);
    /*! The radio band; false while unknown. */
    bool getRFBand(quint8& band);
    /*!
        Changes the voters' channel, then disables the slates and forgets every registration,
        on the hub and in the store.
        \return false with Error_CommsFailure when the command cannot be sent.
    */
    bool changeVoteChannel(quint8 channel);
    /*! Changes the slates' channel; as changeVoteChannel(). */
    bool changeSlateChannel(quint8 channel);
    /*! Changes the board id; as changeVoteChannel(). */
    bool changeBoardID(quint8 id);
    /*! Tells the hub to use radio slates; Error_CommsFailure when unsent. */
    bool useRFSlates();
    /*! Disables the slates on the hub; Error_CommsFailure when unsent. */
    bool disableSlates();

    /*! Replaces \a list by the voters, loading them from the store when none are known; true. */
    bool readTavioteList(QList<Device*>* list);
    /*! Replaces \a list by the slates, loading them from the store when none are known; true. */
    bool readTavioSlateList(QList<Device*>* list);
    /*! 1 with a board, else 0. */
    int tavioboardCount();
    /*!
        Clears the voters on the hub, disables the slates and forgets both lists in the store.
        \return false with Error_CommsFailure when the command cannot be sent.
    */
    bool clearHub();
    /*! Clears the voters on the hub and in the store; as clearHub(). */
    bool clearHubOfVotes();
    /*! Disables the slates and forgets them in the store, whatever the hub answers; true. */
    bool clearHubOfSlates();
    /*! Removes the voter \a id from the hub and the store; Error_CommsFailure when unsent. */
    bool clearVoteWithID(quint64 id);
    /*!
        Enables the listed slate \a id again with its stored PIN.
        \return false with Error_CommsFailure when the slate is not listed or the command cannot
        be sent.
    */
    bool enableSlate(quint8 id);
    /*! Forgets the slate \a id and disables the slates on the hub; true. */
    bool removeSlate(quint8 id);

    /*!
        Opens voter registration; each voter not yet listed is added and reported by
        voteDeviceRegistered(). Error_CommsFailure when unsent.
    */
    bool startVoteRegistrationSession();
    /*! Closes voter registration and saves the voters to the store. */
    bool stopVoteRegistrationSession();
    /*!
        Opens slate registration; a slate that asks to join is reported by
        generatePinforSlateRegistration(). Error_CommsFailure when unsent.
    */
    bool startSlateRegistrationSession();
    /*! Closes slate registration and saves the slates to the store. */
    bool stopSlateRegistrationSession();
    /*!
        Asks the slate \a slateId to type \a pin (letters A to F; any other character becomes
        0); a slate that types it is added and reported by slateDeviceRegistered().
        Error_CommsFailure when unsent.
    */
    bool startSlatePINRegistration(quint8 slateId, const RegistrationCode& pin);
    /*!
        Starts a voter test: a voting session without callback whose votes are emitted by
        voteReceived(). End it with stopSession().
    */
    bool startVoteTestSession();

    /*! The settings file's group of this hub: its uid in decimal with a board, else shared. */
    QString storeGroup() const;

    // Signals of the legacy hub, emitted on the packet thread.
Q_SIGNALS:
    /*! A voter joined: its device id, battery state and firmware version. */
    void voteDeviceRegistered(quint32 deviceId, bool batteryLow, int deviceVersion);
    /*! The slate \a Id asks to join: answer with startSlatePINRegistration(). */
    void generatePinforSlateRegistration(quint8 Id);
    /*! The slate \a Id typed its PIN and joined. */
    void slateDeviceRegistered(quint8 Id);

    //! \cond internal
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
    //! \endcond
};

} // namespace Taviosystem
