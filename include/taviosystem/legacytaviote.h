#pragma once

#include <taviosystem/device.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

// A Taviote voter registered on a legacy hub: its uid is the voter's device id.
class TAVIOSYSTEM_EXPORT LegacyTaviote : public Device
{
    Q_OBJECT
public:
    LegacyTaviote(Hub* hub, quint32 deviceId);

    Type type() const override { return Type_LegacyVote; }
    bool isType(Type type) const override { return type == Type_LegacyVote; }
    // Legacy voters carry no device identifier of their own.
    QByteArray deviceIdentifier() const { return QByteArray(); }
};

} // namespace Taviosystem
