#pragma once

#include <taviosystem/device.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

/*!
    A legacy hub's board: uid 0, present while its hub is connected. Owned by its LegacyHub.
*/
class TAVIOSYSTEM_EXPORT LegacyTavioboard : public Device
{
    Q_OBJECT
public:
    /*! Makes the board of \a hub. */
    explicit LegacyTavioboard(Hub* hub);

    /*! Device::Type_LegacyBoard. */
    Type type() const override { return Type_LegacyBoard; }
    /*! True for Device::Type_LegacyBoard. */
    bool isType(Type type) const override { return type == Type_LegacyBoard; }
};

} // namespace Taviosystem
