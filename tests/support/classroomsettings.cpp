#include "classroomsettings.h"

#include <QtCore/QDir>
#include <QtCore/QSettings>
#include <QtCore/QStandardPaths>
#include <QtCore/QTemporaryDir>
#include <QtNetwork/QHostAddress>
#include <QtNetwork/QTcpServer>

namespace TavioTest {

void writeClassroomSettings(const QString& url, const QString& hubName)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Corvellan"),
        QStringLiteral("Rondel2"));
    settings.beginWriteArray(QStringLiteral("config/servers"));
    settings.setArrayIndex(0);
    settings.setValue(QStringLiteral("url"), url);
    settings.endArray();
    if (hubName.isEmpty())
        settings.remove(QStringLiteral("config/hubName"));
    else
        settings.setValue(QStringLiteral("config/hubName"), hubName);
    settings.sync();
}

void pointClassroomServerAtClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    writeClassroomSettings(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

void isolateUserSettings()
{
    static QTemporaryDir folder;
    QStandardPaths::setTestModeEnabled(true);
    qputenv("XDG_CONFIG_HOME", folder.filePath(QStringLiteral("config")).toLocal8Bit());
    QSettings::setPath(
        QSettings::IniFormat, QSettings::UserScope, folder.filePath(QStringLiteral("user")));
    QSettings::setPath(
        QSettings::NativeFormat, QSettings::UserScope, folder.filePath(QStringLiteral("user")));
    pointClassroomServerAtClosedPort();
}

} // namespace TavioTest
