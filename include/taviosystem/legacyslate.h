#pragma once

#include <taviosystem/device.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

namespace Taviosystem {

/*!
    A radio slate registered on a legacy hub: its uid is the slate id (1 to 63), its name the PIN
    text it registered with. Owned by its LegacyHub.
*/
class TAVIOSYSTEM_EXPORT Legacyslate : public Device
{
    Q_OBJECT
public:
    /*! Makes the slate \a slateId of \a hub with the \a pin text it registered with. */
    Legacyslate(Hub* hub, quint8 slateId, const QString& pin);

    /*! The PIN text. */
    QString name() const override { return m_pin; }
    /*! Device::Type_LegacySlate. */
    Type type() const override { return Type_LegacySlate; }
    /*! True for Device::Type_LegacySlate. */
    bool isType(Type type) const override { return type == Type_LegacySlate; }
    /*! The slate id, 1 to 63. */
    quint8 slateId() const { return quint8(uid()); }
    /*! The PIN text, three digits 1 to 6, that LegacyHub::enableSlate() sends again. */
    QString pin() const { return m_pin; }

private:
    QString m_pin;
};

} // namespace Taviosystem
