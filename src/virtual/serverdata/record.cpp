#include "record.h"

#include <QtCore/QMetaProperty>

namespace Tavio {

Record::Record(QObject* parent)
    : QObject(parent)
{
}

Record::~Record() = default;

QVariantMap Record::getDelta() const
{
    QVariantMap delta;
    const QMetaObject* meta = metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const QString name = QString::fromLatin1(property.name());
        if (m_changed.contains(name))
            delta.insert(name, property.read(this));
    }
    return delta;
}

QVariantMap Record::toMap() const
{
    QVariantMap map;
    const QMetaObject* meta = metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        map.insert(QString::fromLatin1(property.name()), property.read(this));
    }
    return map;
}

namespace {
// Whether a JSON value may stand for a property of this type: numbers only from numbers (or,
// for the numeric types, decimal text), text only from text or numbers, booleans from booleans.
bool convertMember(QVariant& value, QMetaType target)
{
    if (target == QMetaType::fromType<QVariant>())
        return true;
    const QMetaType source = value.metaType();
    const bool fromText = source == QMetaType::fromType<QString>();
    const bool fromNumber = source == QMetaType::fromType<double>()
        || source == QMetaType::fromType<int>() || source == QMetaType::fromType<qlonglong>()
        || source == QMetaType::fromType<qulonglong>() || source == QMetaType::fromType<uint>();
    bool ok = false;
    switch (target.id()) {
    case QMetaType::Int: {
        if (!fromNumber && !fromText)
            return false;
        const double number
            = fromText ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
        if (!ok || number != number || number < -2147483648.0 || number > 2147483647.0)
            return false;
        value = QVariant(int(number));
        return true;
    }
    case QMetaType::Double: {
        if (!fromNumber && !fromText)
            return false;
        const double number
            = fromText ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
        if (!ok)
            return false;
        value = QVariant(number);
        return true;
    }
    case QMetaType::Bool:
        if (source != QMetaType::fromType<bool>())
            return false;
        return true;
    case QMetaType::QString:
        if (!fromText && !fromNumber)
            return false;
        value = QVariant(value.toString());
        return true;
    case QMetaType::QVariantList:
        return source == QMetaType::fromType<QVariantList>();
    case QMetaType::QVariantMap:
        return source == QMetaType::fromType<QVariantMap>();
    default:
        return value.convert(target);
    }
}
} // namespace

bool Record::readFrom(const QVariantMap& map, QStringList* rejected)
{
    bool allRead = true;
    const QMetaObject* meta = metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        const auto it = map.constFind(QString::fromLatin1(property.name()));
        if (it == map.constEnd())
            continue;
        QVariant value = it.value();
        if ((value.isNull() && property.metaType() != QMetaType::fromType<QVariant>())
            || !convertMember(value, property.metaType())) {
            allRead = false;
            if (rejected)
                rejected->append(QString::fromLatin1(property.name()));
            continue;
        }
        property.write(this, value);
    }
    return allRead;
}

} // namespace Tavio
