#pragma once

// The records the classroom server's calls carry: property bags whose Qt properties are the
// JSON member names.

#include <QtCore/QObject>
#include <QtCore/QSet>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariant>

namespace Tavio {

// A record remembers which properties were set since it was made; getDelta() gives those with
// their values, which is what goes on the wire.
class Record : public QObject
{
    Q_OBJECT
public:
    explicit Record(QObject* parent = nullptr);
    ~Record() override;

    Q_INVOKABLE QVariantMap getDelta() const;
    // Sets every property the map names. A member of a type the property cannot take is left
    // out and named in `rejected`; members this record does not know are ignored. True when
    // nothing was rejected.
    bool readFrom(const QVariantMap& map, QStringList* rejected = nullptr);
    // Every property of the record, set or not.
    QVariantMap toMap() const;

protected:
    void markChanged(const char* name) { m_changed.insert(QString::fromLatin1(name)); }

private:
    QSet<QString> m_changed;
};

} // namespace Tavio

// Declares the accessors of one record property: `Name()` and `setName()`, which marks it
// changed. The Q_PROPERTY line naming them is written beside it.
#define TAVIO_RECORD_FIELD(Type, Name)                                                             \
public:                                                                                            \
    Type Name() const { return m_##Name; }                                                         \
    void set##Name(const Type& value)                                                              \
    {                                                                                              \
        m_##Name = value;                                                                          \
        markChanged(#Name);                                                                        \
    }                                                                                              \
                                                                                                   \
private:                                                                                           \
    Type m_##Name {};
