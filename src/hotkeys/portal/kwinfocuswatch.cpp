#include "kwinfocuswatch.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

const QString WatchPath = QStringLiteral("/org/keyquill/FocusWatch");

// KWin 5 names the active window activeClient, KWin 6 activeWindow. A report left unanswered
// for a minute means the program is gone (killed: nobody unloaded the script), and the script
// falls silent instead of calling a name that no longer exists at every change.
const char Script[] = R"(var waitingSince = 0;
function report() {
    var now = Date.now();
    if (waitingSince && now - waitingSince > 60000)
        return;
    if (!waitingSince)
        waitingSince = now;
    var w = workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
    callDBus("%1", "%2", "org.keyquill.FocusWatch", "report",
             w ? String(w.resourceName) : "", w ? String(w.resourceClass) : "",
             function () { waitingSince = 0; });
}
(workspace.windowActivated || workspace.clientActivated).connect(report);
report();
)";

QDBusMessage scripting(const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
                                       QStringLiteral("org.kde.kwin.Scripting"), method);
    message.setArguments(arguments);
    return message;
}

} // namespace

KWinFocusWatch::KWinFocusWatch(QObject *parent) : QObject(parent) {}

KWinFocusWatch::~KWinFocusWatch()
{
    // Briefly blocking: at exit an asynchronous call may never leave.
    if (m_loaded && QCoreApplication::instance())
        QDBusConnection::sessionBus().call(
            scripting(QStringLiteral("unloadScript"), {pluginName()}), QDBus::Block, 500);
}

QString KWinFocusWatch::pluginName() const
{
    // One per process: two copies of the program (a test's among them) watch side by side.
    return QStringLiteral("keyquill-focus-%1").arg(QCoreApplication::applicationPid());
}

void KWinFocusWatch::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (m_script || !bus.registerObject(WatchPath, this, QDBusConnection::ExportScriptableSlots))
        return;
    // KWin reads the script from a file, once it runs it.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    m_script =
        std::make_unique<QTemporaryFile>(QDir(runtime.isEmpty() ? QDir::tempPath() : runtime)
                                             .filePath(QStringLiteral("keyquill-focus-XXXXXX.js")));
    if (!m_script->open() ||
        m_script->write(QString::fromLatin1(Script).arg(bus.baseService(), WatchPath).toUtf8()) <
            0 ||
        !m_script->flush())
        return;
    auto *watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(scripting(QStringLiteral("loadScript"),
                                                            {m_script->fileName(), pluginName()})),
                                    this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        const QDBusPendingReply<int> reply = *watcher;
        if (reply.isError() || reply.value() < 0)
            return;
        m_loaded = true;
        QDBusConnection::sessionBus().asyncCall(scripting(QStringLiteral("start")));
    });
}

void KWinFocusWatch::report(const QString &resourceName, const QString &resourceClass)
{
    m_focused = QStringList{resourceName, resourceClass};
    m_watching = true;
    m_script.reset(); // KWin has read it
}
