#pragma once

#include <taviosystem/device.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

/*!
    A Taviote voter registered on a legacy hub: its uid is the voter's device id. Owned by its
    LegacyHub.
*/
class TAVIOSYSTEM_EXPORT LegacyTaviote : public Device
{
    Q_OBJECT
public:
    /*! Makes the voter \a deviceId of \a hub. */
    LegacyTaviote(Hub* hub, quint32 deviceId);

    /*! Device::Type_LegacyVote. */
    Type type() const override { return Type_LegacyVote; }
    /*! True for Device::Type_LegacyVote. */
    bool isType(Type type) const override { return type == Type_LegacyVote; }
    /*! Empty: legacy voters carry no device identifier of their own. */
    QByteArray deviceIdentifier() const { return QByteArray(); }
};

} // namespace Taviosystem
