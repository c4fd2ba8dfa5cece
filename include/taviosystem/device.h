#pragma once

#include <taviosystem/taviosystem_global.h>

#include <QtCore/QObject>
#include <QtCore/QString>

namespace Taviosystem {

class Hub;

// A learner device or board known to a hub. Hubs own their devices; the host only borrows
// the pointers, which become invalid when the hub re-reads its lists.
class TAVIOSYSTEM_EXPORT Device : public QObject
{
    Q_OBJECT
public:
    enum Type {
        Type_LegacyBoard = 0,
        Type_LegacySlate = 1,
        Type_LegacyVote = 2,
        Type_Slate = 3,
        Type_Vote = 4,
        Type_Expression = 5,
        Type_Board = 6,
        Type_Other = 7,
        Type_PenExpression = 8
    };
    Q_ENUM(Type)

    enum SubType {
        SubType_None = 0,
        SubType_Expression = 1,
        SubType_ExpressionV2 = 2,
        SubType_Other = 3
    };
    Q_ENUM(SubType)

    Device(Hub* hub, unsigned int uid, unsigned short address);

    unsigned int uid() const { return m_uid; }
    unsigned short address() const { return m_address; }
    bool isConnected() const { return m_connected; }
    Hub* hub() const { return m_hub; }
    // Emits connected or disconnected on a change only.
    void setConnected(bool connected);

    virtual QString name() const;
    virtual Type type() const = 0;
    virtual SubType subType() const;
    virtual bool isType(Type type) const = 0;
    virtual bool enableRemoteControl();
    virtual bool disableRemoteControl();

Q_SIGNALS:
    void connected(Taviosystem::Device* pDevice);
    void disconnected(Taviosystem::Device* pDevice);

protected:
    quint32 m_uid;
    Hub* m_hub;
    bool m_connected;
    quint16 m_address;
};

} // namespace Taviosystem

Q_DECLARE_METATYPE(Taviosystem::Device::SubType)
