#pragma once

// What stands behind the host's registration and naming session objects: a normal
// implementation bound to a 2.4 GHz hub, and an error implementation that refuses every call
// once that hub has gone.

#include <taviosystem/devicedisplayinfo.h>
#include <taviosystem/registrationcode.h>
#include <taviosystem/taviohubexpressionnamingsession.h>
#include <taviosystem/taviohubregistrationsession.h>
#include <taviosystem/taviohubvotenamingsession.h>

#include <QtCore/QList>

#include <mutex>

namespace Taviosystem {

class Hub;
class TwoPointFourGHzHub;

class TaviohubRegistrationSessionImpl
{
public:
    typedef TaviohubRegistrationSession::RegistrationInfo RegistrationInfo;
    virtual ~TaviohubRegistrationSessionImpl() = default;
    virtual RegistrationInfo registrationInfo() = 0;
    virtual bool clearHub() = 0;
    virtual bool clearHubOfVotes() = 0;
    virtual bool clearHubOfSlates() = 0;
    virtual bool clearHubOfBoards() = 0;
    virtual bool clearHubOfExpressions() = 0;
    virtual bool clearHubOfPenExpressions() = 0;
    virtual bool getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list) = 0;
    virtual bool getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list) = 0;
    virtual bool getListOfRegisteredBoards(QList<DeviceDisplayInfo>& list) = 0;
    virtual bool getListOfRegisteredExpressions(QList<DeviceDisplayInfo>& list) = 0;
    virtual bool getListOfRegisteredPenExpressions(QList<DeviceDisplayInfo>& list) = 0;
    virtual bool startExpressionRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin)
        = 0;
    virtual bool startNamingExpressionRegistrationSession(quint16 p1, quint8 p2, quint8 p3,
        RegistrationCode pin, CharacterType characterType, bool flag, quint8 nameLength)
        = 0;
    virtual bool startVoteRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin)
        = 0;
    virtual bool startSlateRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin)
        = 0;
    virtual bool removeTavioexpression(unsigned int uid) = 0;
    virtual bool removeTaviote(unsigned int uid) = 0;
    virtual bool removeSlate(unsigned int uid) = 0;
    virtual bool removePenExpression(unsigned int uid) = 0;
    virtual bool stopExpressionRegistrationSession() = 0;
    virtual bool stopVoteRegistrationSession() = 0;
    virtual bool stopSlateRegistrationSession() = 0;
    // The hub the calls go to; null for the error implementation.
    virtual TwoPointFourGHzHub* hub() const = 0;
    // Called when the system sets this implementation aside: from then on it leaves its hub
    // alone, even in its destructor, since the hub may be freed before it.
    virtual void retire() { }
};

class TaviohubNormalRegSessionImpl : public TaviohubRegistrationSessionImpl
{
public:
    explicit TaviohubNormalRegSessionImpl(TwoPointFourGHzHub* hub)
        : m_hub(hub)
    {
    }
    RegistrationInfo registrationInfo() override;
    bool clearHub() override;
    bool clearHubOfVotes() override;
    bool clearHubOfSlates() override;
    bool clearHubOfBoards() override;
    bool clearHubOfExpressions() override;
    bool clearHubOfPenExpressions() override;
    bool getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list) override;
    bool getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list) override;
    bool getListOfRegisteredBoards(QList<DeviceDisplayInfo>& list) override;
    bool getListOfRegisteredExpressions(QList<DeviceDisplayInfo>& list) override;
    bool getListOfRegisteredPenExpressions(QList<DeviceDisplayInfo>& list) override;
    bool startExpressionRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin) override;
    bool startNamingExpressionRegistrationSession(quint16 p1, quint8 p2, quint8 p3,
        RegistrationCode pin, CharacterType characterType, bool flag, quint8 nameLength) override;
    bool startVoteRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin) override;
    bool startSlateRegistrationSession(
        quint16 p1, quint8 p2, quint8 p3, RegistrationCode pin) override;
    bool removeTavioexpression(unsigned int uid) override;
    bool removeTaviote(unsigned int uid) override;
    bool removeSlate(unsigned int uid) override;
    bool removePenExpression(unsigned int uid) override;
    bool stopExpressionRegistrationSession() override;
    bool stopVoteRegistrationSession() override;
    bool stopSlateRegistrationSession() override;
    TwoPointFourGHzHub* hub() const override { return m_hub; }

private:
    TwoPointFourGHzHub* m_hub;
};

class TaviohubRegSessionErrorImpl : public TaviohubRegistrationSessionImpl
{
public:
    static constexpr int GoneHubState = 16;
    RegistrationInfo registrationInfo() override;
    bool clearHub() override { return false; }
    bool clearHubOfVotes() override { return false; }
    bool clearHubOfSlates() override { return false; }
    bool clearHubOfBoards() override { return false; }
    bool clearHubOfExpressions() override { return false; }
    bool clearHubOfPenExpressions() override { return false; }
    bool getListOfRegisteredVotes(QList<DeviceDisplayInfo>& list) override { return refuse(list); }
    bool getListOfRegisteredSlates(QList<DeviceDisplayInfo>& list) override { return refuse(list); }
    bool getListOfRegisteredBoards(QList<DeviceDisplayInfo>& list) override { return refuse(list); }
    bool getListOfRegisteredExpressions(QList<DeviceDisplayInfo>& list) override
    {
        return refuse(list);
    }
    bool getListOfRegisteredPenExpressions(QList<DeviceDisplayInfo>& list) override
    {
        return refuse(list);
    }
    bool startExpressionRegistrationSession(quint16, quint8, quint8, RegistrationCode) override
    {
        return false;
    }
    bool startNamingExpressionRegistrationSession(
        quint16, quint8, quint8, RegistrationCode, CharacterType, bool, quint8) override
    {
        return false;
    }
    bool startVoteRegistrationSession(quint16, quint8, quint8, RegistrationCode) override
    {
        return false;
    }
    bool startSlateRegistrationSession(quint16, quint8, quint8, RegistrationCode) override
    {
        return false;
    }
    bool removeTavioexpression(unsigned int) override { return false; }
    bool removeTaviote(unsigned int) override { return false; }
    bool removeSlate(unsigned int) override { return false; }
    bool removePenExpression(unsigned int) override { return false; }
    bool stopExpressionRegistrationSession() override { return false; }
    bool stopVoteRegistrationSession() override { return false; }
    bool stopSlateRegistrationSession() override { return false; }
    TwoPointFourGHzHub* hub() const override { return nullptr; }

private:
    static bool refuse(QList<DeviceDisplayInfo>& list)
    {
        list.clear();
        return false;
    }
};

// Naming ----------------------------------------------------------------------------------------

// The host's naming callback behind one of the hub's device-named callbacks. Set from the
// host's threads, read on the packet thread; once retired it never reaches the hub or the host
// again, so its owner may outlive the hub.
class HostNamedCallback
{
public:
    typedef void (*Callback)(Hub*, const QString& name, unsigned int uid, void* context);
    typedef void (TwoPointFourGHzHub::*HubSetter)(
        void (*)(TwoPointFourGHzHub*, unsigned int, const QString&, void*), void*);

    HostNamedCallback(TwoPointFourGHzHub* hub, HubSetter setter)
        : m_hub(hub)
        , m_setter(setter)
    {
    }
    ~HostNamedCallback() { retire(); }

    // Stores the host's callback and installs the forwarder on the hub.
    void set(Callback callback, void* context);
    // The hub dropped its callback by itself.
    void uninstalled();
    void retire();

private:
    static void forward(TwoPointFourGHzHub* hub, unsigned int uid, const QString& name, void* self);

    TwoPointFourGHzHub* m_hub;
    HubSetter m_setter;
    std::mutex m_mutex;
    Callback m_callback = nullptr;
    void* m_context = nullptr;
    bool m_installed = false; // the forwarder is the hub's callback now
    bool m_retired = false;
};

class TaviohubTavioteNamingSessionImpl
{
public:
    virtual ~TaviohubTavioteNamingSessionImpl() = default;
    virtual bool nameTaviote(unsigned int uid, const QString& name) = 0;
    virtual bool stop() = 0;
    virtual bool start() = 0;
    virtual void setCallback(TaviohubVoteNamingSession::NamedCallback callback, void* context) = 0;
    virtual TwoPointFourGHzHub* hub() const = 0;
    virtual void retire() { }
};

class TaviohubNormalTavioteNamingSessionImpl : public TaviohubTavioteNamingSessionImpl
{
public:
    explicit TaviohubNormalTavioteNamingSessionImpl(TwoPointFourGHzHub* hub);
    bool nameTaviote(unsigned int uid, const QString& name) override;
    bool stop() override;
    bool start() override;
    void setCallback(TaviohubVoteNamingSession::NamedCallback callback, void* context) override;
    TwoPointFourGHzHub* hub() const override { return m_hub; }
    void retire() override;

private:
    TwoPointFourGHzHub* m_hub;
    HostNamedCallback m_named;
};

class TaviohubTavioteNamingSessionErrorImpl : public TaviohubTavioteNamingSessionImpl
{
public:
    bool nameTaviote(unsigned int, const QString&) override { return false; }
    bool stop() override { return false; }
    bool start() override { return false; }
    void setCallback(TaviohubVoteNamingSession::NamedCallback, void*) override { }
    TwoPointFourGHzHub* hub() const override { return nullptr; }
};

class TaviohubExpressionNamingSessionImpl
{
public:
    virtual ~TaviohubExpressionNamingSessionImpl() = default;
    virtual bool nameExpression(unsigned int uid, const QString& name) = 0;
    virtual bool start() = 0;
    virtual bool stop() = 0;
    virtual void setCallback(TaviohubExpressionNamingSession::NamedCallback callback, void* context)
        = 0;
    virtual TwoPointFourGHzHub* hub() const = 0;
    virtual void retire() { }
};

class TaviohubNormalExpressionNamingSessionImpl : public TaviohubExpressionNamingSessionImpl
{
public:
    explicit TaviohubNormalExpressionNamingSessionImpl(TwoPointFourGHzHub* hub);
    bool nameExpression(unsigned int uid, const QString& name) override;
    bool start() override;
    bool stop() override;
    void setCallback(
        TaviohubExpressionNamingSession::NamedCallback callback, void* context) override;
    TwoPointFourGHzHub* hub() const override { return m_hub; }
    void retire() override;

private:
    TwoPointFourGHzHub* m_hub;
    HostNamedCallback m_named;
};

class TaviohubExpressionNamingSessionErrorImpl : public TaviohubExpressionNamingSessionImpl
{
public:
    bool nameExpression(unsigned int, const QString&) override { return false; }
    bool start() override { return false; }
    bool stop() override { return false; }
    void setCallback(TaviohubExpressionNamingSession::NamedCallback, void*) override { }
    TwoPointFourGHzHub* hub() const override { return nullptr; }
};

class TaviohubSlateNamingSessionImpl
{
public:
    virtual ~TaviohubSlateNamingSessionImpl() = default;
    virtual bool nameSlate(unsigned int uid, const QString& name) = 0;
    virtual bool stop() = 0;
    virtual TwoPointFourGHzHub* hub() const = 0;
    virtual void retire() { }
};

class TaviohubNormalSlateNamingSessionImpl : public TaviohubSlateNamingSessionImpl
{
public:
    explicit TaviohubNormalSlateNamingSessionImpl(TwoPointFourGHzHub* hub)
        : m_hub(hub)
    {
    }
    bool nameSlate(unsigned int uid, const QString& name) override;
    bool stop() override;
    TwoPointFourGHzHub* hub() const override { return m_hub; }

private:
    TwoPointFourGHzHub* m_hub;
};

class TaviohubSlateNamingSessionErrorImpl : public TaviohubSlateNamingSessionImpl
{
public:
    bool nameSlate(unsigned int, const QString&) override { return false; }
    bool stop() override { return false; }
    TwoPointFourGHzHub* hub() const override { return nullptr; }
};

} // namespace Taviosystem
