// Control interface of the hub emulator (libtavioboardex.so).
//
// The emulator stands in for the closed board library: it exports the tavio* C functions that
// the system loads at run time, and this C++ interface through which tests and the demo plug
// receivers in and out, script their firmware, inject packets and read back every write.
//
// Threads: the plug-and-play callback runs on the emulator's notification thread; each hub has
// its own packet thread that delivers packets through the packet callback registered for its
// handle. No emulator lock is held while a callback runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The reduced build (TAVIOEMU_MINIMAL) keeps this C++ interface internal: only its tavio* C
// functions are visible from outside.
#if defined(TAVIOEMU_MINIMAL)
#define TAVIOEMU_EXPORT
#elif defined(_WIN32)
#define TAVIOEMU_EXPORT __declspec(dllexport)
#else
#define TAVIOEMU_EXPORT __attribute__((visibility("default")))
#endif

namespace TavioEmulator {

using Bytes = std::vector<std::uint8_t>;

// Describes one receiver as the board library reports it in its device record.
struct HubConfig
{
    int kind = 3; // 1 or 2 legacy hub, 3 2.4 GHz hub, 4 virtual 2.4 GHz hub
    int connectionType = 2; // legacy hubs: 1 serial, 2 USB
    int versionNumber = 0;
    std::uint64_t serial = 0;
    std::u16string devicePath;
    std::u16string driverVersion = u"6.2.3.4";
    std::string additionalInfo; // key=<value> items
    int handle = 0; // 0: the emulator picks the next free handle
};

// One write the system made through tavioWritePacket.
struct Write
{
    int handle = 0;
    Bytes bytes;
};

// Board settings the system made through the tavioSet* functions, readable by tests.
struct BoardSettings
{
    int xferMask = -1;
    std::uint8_t touchDestination = 0;
    bool touchDestinationExtra = false;
    bool touchEnabled = true;
    bool touchSystemRedirection = false;
    bool lateDetection = false;
    std::uint8_t hidCoordinateReportMode = 0;
    // per pen id (index 0 to 255): destination mode, flag and the extra argument of the Ex call
    std::uint8_t penDestination[256] = {};
    bool penDestinationFlag[256] = {};
    bool penDestinationExtra[256] = {};
    std::vector<Bytes> touchPacketsToSystem; // what tavioSendTouchPacketToSystem handed over
    bool buttonsReversed = false; // tavioReverseButtons
};

class EmulatedHub;

// The receiver's firmware: sees every command the system writes to its hub and may answer
// with packets. onWrite runs on the writing thread; answers are queued with EmulatedHub::deliver
// and reach the system on the hub's packet thread, never from inside tavioWritePacket.
class TAVIOEMU_EXPORT Firmware
{
public:
    virtual ~Firmware();
    virtual void onWrite(EmulatedHub& hub, const Bytes& command) = 0;
};

// Answers commands by prefix: every written command that starts with a rule's prefix is
// answered by that rule's packets after its delay. The first matching rule wins. Commands
// no rule matches get no answer. Rules can be changed while the hub runs.
// Rules from onNext are consulted before the standing rules from on(), so a one-off answer can
// override a standing one; calling on() again with the same prefix replaces that standing rule.
class TAVIOEMU_EXPORT ScriptedFirmware : public Firmware
{
public:
    ScriptedFirmware();
    ~ScriptedFirmware() override;

    void on(const Bytes& prefix, std::vector<Bytes> replies,
        std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    // Answers only the next `times` matching commands, then the rule goes away.
    void onNext(const Bytes& prefix, std::vector<Bytes> replies, int times = 1,
        std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    void clearRules();

    void onWrite(EmulatedHub& hub, const Bytes& command) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// A board's touch controller: answers the touch status query ":QT\r" with the 8-byte status
// packet (08 A5 00 00 00 00 status touches). Other commands are passed to `next` if given.
class TAVIOEMU_EXPORT TouchBoardFirmware : public Firmware
{
public:
    explicit TouchBoardFirmware(std::shared_ptr<Firmware> next = nullptr);
    ~TouchBoardFirmware() override;

    void setRunning(bool running); // status 5 when running, 0 when stopped
    void setStatusByte(std::uint8_t status); // any raw status value
    void setTouchCount(std::uint8_t touches);
    void setSilent(bool silent); // no answer at all (a board without touch)
    void setReplyDelay(std::chrono::milliseconds delay);
    int queriesAnswered() const;

    void onWrite(EmulatedHub& hub, const Bytes& command) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// One plugged-in receiver.
class TAVIOEMU_EXPORT EmulatedHub
{
public:
    virtual ~EmulatedHub();

    virtual int handle() const = 0;
    virtual HubConfig config() const = 0;

    // Queues a packet for delivery on this hub's packet thread, after `delay`. Packets are
    // delivered in order of due time, and in queueing order for equal due times. A packet
    // queued while no callback is registered for the handle is dropped at delivery time.
    virtual void deliver(
        const Bytes& packet, std::chrono::milliseconds delay = std::chrono::milliseconds(0))
        = 0;
    // Blocks until every packet queued so far has been handed to the callback (or dropped),
    // or until the time-out; true when the queue drained.
    virtual bool waitUntilDelivered(std::chrono::milliseconds timeout) = 0;
    virtual int packetsDelivered() const = 0;

    virtual void setFirmware(std::shared_ptr<Firmware> firmware) = 0;
    virtual std::shared_ptr<Firmware> firmware() const = 0;

    // Every write to this hub, oldest first, including refused ones.
    virtual std::vector<Write> writes() const = 0;
    virtual void clearWrites() = 0;
    // Waits until at least `count` writes were recorded; true when they were.
    virtual bool waitForWrites(std::size_t count, std::chrono::milliseconds timeout) = 0;

    // Refused writes return -1 to the system and do not reach the firmware.
    virtual void setRefuseWrites(bool refuse) = 0;
    virtual void refuseNextWrites(int count) = 0;

    virtual BoardSettings boardSettings() const = 0;
    // What the getters answer (the setters store into the same settings).
    virtual void setBoardSettings(const BoardSettings& settings) = 0;

    // Whether a packet callback is registered for this hub's handle right now.
    virtual bool hasPacketCallback() const = 0;
};

// The emulator itself: a process-wide object inside libtavioboardex.so.
class TAVIOEMU_EXPORT Emulator
{
public:
    static Emulator& instance();

    // Plugs a receiver in and fires the plug-and-play callback (asynchronously, on the
    // notification thread). The returned object lives until the hub is removed.
    virtual EmulatedHub* addHub(const HubConfig& config) = 0;
    // Unplugs it: its packet thread stops (queued packets are dropped), its record disappears
    // and the plug-and-play callback fires. False for an unknown handle.
    virtual bool removeHub(int handle) = 0;
    virtual EmulatedHub* hub(int handle) = 0;
    virtual std::vector<int> handles() const = 0;

    // Unplugs every hub without notifying, forgets all callbacks, counters and settings.
    // For use between tests.
    virtual void reset() = 0;

    // Makes tavioEnumDeviceInfo fail for the record at `index` (-1: none fails).
    virtual void setFailingRecordIndex(int index) = 0;
    // Fires the plug-and-play callback without any change (a spurious notification).
    virtual void notifyPnp() = 0;
    // Blocks until every plug-and-play notification fired so far has returned.
    virtual bool waitForPnpIdle(std::chrono::milliseconds timeout) = 0;

    virtual int attachCount() const = 0;
    virtual int detachCount() const = 0;
    // Whether the library is attached now: tavioAttach attaches it, tavioDetach releases it.
    virtual bool isAttached() const = 0;
    virtual int lockDepth() const = 0; // tavioLock minus tavioUnlock calls
    virtual int pnpNotificationsDelivered() const = 0;
    virtual bool hasPnpCallback() const = 0;

    // Every write to any hub, oldest first.
    virtual std::vector<Write> allWrites() const = 0;
    // Forgets the writes of every hub (long runs, so that the log does not grow).
    virtual void clearAllWrites() = 0;

protected:
    Emulator();
    virtual ~Emulator();
};

} // namespace TavioEmulator

// The radio hubs' firmwares and the long-message transport come with the control interface.
#include "tavioemulator/twopointfourghzfirmware.h"
#include "tavioemulator/enhancedfirmware.h"
#include "tavioemulator/legacyfirmware.h"
#include "tavioemulator/virtualfirmware.h"
