#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QObject>
#include <QtCore/QString>

namespace Taviosystem {

class Hub;

/*!
    A learner device or board known to a hub.

    Hubs own their devices; the host only borrows the pointers from Hub::getDeviceList() and
    Hub::getCompleteDeviceList(). A pointer becomes invalid when its hub reads its lists again
    (Hub::deviceListChanged() follows such a read); the object itself is deleted once control is
    back in the event loop of the thread that owns the hub, so a pointer used there stays valid
    until then. Never delete a device.
*/
class TAVIOSYSTEM_EXPORT Device : public QObject
{
    Q_OBJECT
public:
    /*! The device class, as type() reports it. */
    enum Type {
        Type_LegacyBoard = 0, //!< A legacy hub's board (LegacyTavioboard).
        Type_LegacySlate = 1, //!< A radio slate on a legacy hub (Legacyslate).
        Type_LegacyVote = 2, //!< A voter on a legacy hub (LegacyTaviote).
        Type_Slate = 3, //!< A TavioSlate tablet (TwoPointFourGHzTavioSlate).
        Type_Vote = 4, //!< A Taviote voter (TwoPointFourGHzTaviote).
        Type_Expression = 5, //!< A TavioExpression answer device (TwoPointFourGHzTavioexpression).
        Type_Board = 6, //!< Boards: a device-list query kind of the 2.4 GHz hub; no class.
        Type_Other = 7, //!< Any other product; no class.
        Type_PenExpression = 8 //!< A pen expression (PenExpression).
    };
    Q_ENUM(Type)

    /*! The generation of an answer device, as subType() reports it. */
    enum SubType {
        SubType_None = 0, //!< Not an answer device, or a pen expression.
        SubType_Expression = 1, //!< First-generation TavioExpression.
        SubType_ExpressionV2 = 2, //!< Second-generation TavioExpression.
        SubType_Other = 3 //!< Any other generation.
    };
    Q_ENUM(SubType)

    /*!
        Makes a device of \a hub (not owned) with its \a uid and radio \a address; it starts
        connected. Hubs make their devices; hosts do not.
    */
    Device(Hub* hub, unsigned int uid, unsigned short address);

    /*! The device's unique id: what answers and registration reports carry. */
    unsigned int uid() const { return m_uid; }
    /*! The device's radio address on its hub (0 for legacy devices). */
    unsigned short address() const { return m_address; }
    /*! Whether the device is present; true from construction. */
    bool isConnected() const { return m_connected; }
    /*! The hub the device belongs to (not owned). */
    Hub* hub() const { return m_hub; }
    /*!
        Sets whether the device is present. A change emits connected() or disconnected(); the
        same value again emits nothing. Called by the hub.
    */
    void setConnected(bool connected);

    /*! The device's display name; empty when it has none. */
    virtual QString name() const;
    /*! The device class. */
    virtual Type type() const = 0;
    /*! The answer device generation; SubType_None for every other device. */
    virtual SubType subType() const;
    /*! True exactly when \a type is this device's own type(). */
    virtual bool isType(Type type) const = 0;
    /*! Offers remote control of the device; no device here supports it: false. */
    virtual bool enableRemoteControl();
    /*! Ends remote control of the device; no device here supports it: false. */
    virtual bool disableRemoteControl();

Q_SIGNALS:
    /*!
        The device became present. Emitted on the thread that called setConnected(): for a legacy
        board, the thread that ran hub discovery.
    */
    void connected(Taviosystem::Device* pDevice);
    /*! The device went away. Emitted like connected(). */
    void disconnected(Taviosystem::Device* pDevice);

    //! \cond internal
protected:
    quint32 m_uid;
    Hub* m_hub;
    bool m_connected;
    quint16 m_address;
    //! \endcond
};

} // namespace Taviosystem

Q_DECLARE_METATYPE(Taviosystem::Device::SubType)
