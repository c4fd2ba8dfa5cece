#pragma once

// The legacy hubs' device store as the tests see it: the settings file under the test's
// application-data folder, seeded, read back and spoilt without going through the library.

#include <QtCore/QByteArray>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QList>
#include <QtCore/QPair>
#include <QtCore/QSettings>
#include <QtCore/QStringList>

namespace TavioTest {

struct StoredSlate
{
    uint id = 0;
    QString pin;
    bool operator==(const StoredSlate& other) const { return id == other.id && pin == other.pin; }
};

inline QString legacyStorePath()
{
    return QString::fromLocal8Bit(qgetenv("TAVIOSYSTEM_APPDATA"))
        + QStringLiteral("/Corvellan/TavioSystem/TavioSystem.ini");
}

inline void seedLegacyStore(
    const QString& group, const QStringList& voters, const QList<StoredSlate>& slates = {})
{
    QDir().mkpath(QFileInfo(legacyStorePath()).absolutePath());
    QSettings store(legacyStorePath(), QSettings::IniFormat);
    store.beginGroup(group);
    store.setValue(QStringLiteral("taviotes"), voters);
    store.beginWriteArray(QStringLiteral("Slates"), int(slates.size()));
    for (int i = 0; i < slates.size(); ++i) {
        store.setArrayIndex(i);
        store.setValue(QStringLiteral("ID"), slates.at(i).id);
        store.setValue(QStringLiteral("PIN"), slates.at(i).pin);
    }
    store.endArray();
    store.endGroup();
}

inline QStringList storedLegacyVoters(const QString& group)
{
    QSettings store(legacyStorePath(), QSettings::IniFormat);
    return store.value(group + QStringLiteral("/taviotes")).toStringList();
}

inline QList<StoredSlate> storedLegacySlates(const QString& group)
{
    QSettings store(legacyStorePath(), QSettings::IniFormat);
    store.beginGroup(group);
    QList<StoredSlate> slates;
    const int count = store.beginReadArray(QStringLiteral("Slates"));
    for (int i = 0; i < count; ++i) {
        store.setArrayIndex(i);
        slates.append({ store.value(QStringLiteral("ID")).toUInt(),
            store.value(QStringLiteral("PIN")).toString() });
    }
    store.endArray();
    return slates;
}

// Writes `bytes` as the whole file: truncated, garbled or not a settings file at all.
inline bool writeLegacyStore(const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(legacyStorePath()).absolutePath());
    QFile file(legacyStorePath());
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}

} // namespace TavioTest
