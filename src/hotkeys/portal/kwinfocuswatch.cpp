#include "kwinfocuswatch.h"

#include <cerrno>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <signal.h>

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

const QString ScriptPrefix = QStringLiteral("keyquill-focus-");
// Beside the script's name, a file in the runtime folder says which runs loaded theirs: that
// folder lasts as long as the login, as KWin's scripts do.
const QString LoadedSuffix = QStringLiteral(".loaded");

QString runtimeFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

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
    if (m_loaded && QCoreApplication::instance()) {
        QDBusConnection::sessionBus().call(
            scripting(QStringLiteral("unloadScript"), {pluginName()}), QDBus::Block, 500);
        QFile::remove(QDir(runtimeFolder()).filePath(pluginName() + LoadedSuffix));
    }
}

QString KWinFocusWatch::pluginName() const
{
    // One per process: two copies of the program (a test's among them) watch side by side.
    return ScriptPrefix + QString::number(QCoreApplication::applicationPid());
}

// The scripts of runs that ended without unloading theirs (killed, or crashed): each would call
// a name that is gone at every change of window, until it gives up.
void KWinFocusWatch::unloadLeftovers()
{
    const QDir runtime(runtimeFolder());
    const QStringList loaded =
        runtime.entryList({ScriptPrefix + QLatin1Char('*') + LoadedSuffix}, QDir::Files);
    for (const QString &file : loaded) {
        bool ok = false;
        const qint64 pid =
            file.mid(ScriptPrefix.size(), file.size() - ScriptPrefix.size() - LoadedSuffix.size())
                .toLongLong(&ok);
        // A run still going (another copy of the program) keeps its own.
        if (!ok || pid <= 0 || pid == QCoreApplication::applicationPid() ||
            ::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        QDBusConnection::sessionBus().asyncCall(
            scripting(QStringLiteral("unloadScript"), {ScriptPrefix + QString::number(pid)}));
        QFile::remove(runtime.filePath(file));
    }
}

void KWinFocusWatch::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (m_script || !bus.registerObject(WatchPath, this, QDBusConnection::ExportScriptableSlots))
        return;
    unloadLeftovers();
    // KWin reads the script from a file, once it runs it.
    m_script = std::make_unique<QTemporaryFile>(
        QDir(runtimeFolder()).filePath(ScriptPrefix + QStringLiteral("XXXXXX.js")));
    if (!m_script->open() ||
        m_script->write(QString::fromLatin1(Script).arg(bus.baseService(), WatchPath).toUtf8()) <
            0 ||
        !m_script->flush())
        return;
    // Said before the script may be loaded: a run killed right after still leaves the word.
    const QString marker = QDir(runtimeFolder()).filePath(pluginName() + LoadedSuffix);
    QFile(marker).open(QIODevice::WriteOnly);
    auto *watcher =
        new QDBusPendingCallWatcher(bus.asyncCall(scripting(QStringLiteral("loadScript"),
                                                            {m_script->fileName(), pluginName()})),
                                    this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, marker] {
        watcher->deleteLater();
        const QDBusPendingReply<int> reply = *watcher;
        if (reply.isError() || reply.value() < 0) {
            QFile::remove(marker);
            return;
        }
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
