#include "autostart.h"

#include <algorithm>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// The program as the session should start it: by name when that name on the PATH is this very
// program, else by its own path (a build run from its source tree is on no PATH).
QString command()
{
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("keyquill"));
    if (self.isEmpty() || (!onPath.isEmpty() && QFileInfo(onPath).canonicalFilePath() == self))
        return QStringLiteral("keyquill");
    QString path = self;
    path.replace(QLatin1Char('%'), QLatin1String("%%")); // not a field code
    static const QString Reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    if (std::none_of(path.cbegin(), path.cend(), [](QChar c) { return Reserved.contains(c); }))
        return path;
    // Quoted, with ", `, $ and \ escaped inside the quotes; then each backslash doubled, as the
    // Exec value is also a string whose escapes are read first.
    QString quoted;
    for (const QChar c : std::as_const(path)) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

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
    const QByteArray exec = command().toUtf8() + " --minimize-to-tray";
    file.write("[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Keyquill\n"
               "Comment=Paste often used texts anywhere with system-wide hot keys\n"
               "Exec=" +
               exec +
               "\n"
               "Icon=keyquill\n"
               "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n");
    return file.commit();
}

} // namespace Autostart
