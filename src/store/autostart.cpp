#include "autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace Autostart {

QString fileName()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || QDir::isRelativePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/keyquill.desktop");
}

bool isEnabled()
{
    return QFileInfo::exists(fileName());
}

bool setEnabled(bool enabled)
{
    const QString name = fileName();
    if (!enabled)
        return !QFileInfo::exists(name) || QFile::remove(name);
    if (!QDir().mkpath(QFileInfo(name).path()))
        return false;
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    file.write("[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Keyquill\n"
               "Comment=Paste often used texts anywhere with system-wide hot keys\n"
               "Exec=keyquill --minimize-to-tray\n"
               "Icon=keyquill\n"
               "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n");
    return file.commit();
}

} // namespace Autostart
