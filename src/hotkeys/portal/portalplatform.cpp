#include "portalplatform.h"

#include "hotkeys/pastekeytable.h"
#include "hotkeys/portal/portalrequest.h"
#include "hotkeys/portal/portalshortcutbackend.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QProcess>
#include <QStandardPaths>

namespace {

// The portal may be started on demand for the question; a desktop that takes longer than this
// has no portal to speak of.
constexpr int QuestionTimeoutMs = 25000;

} // namespace

std::unique_ptr<HotKeyPlatform> createPortalPlatform()
{
    return std::make_unique<PortalPlatform>();
}

PortalPlatform::PortalPlatform()
{
    Portal::registerTypes();
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage version = QDBusMessage::createMethodCall(
        Portal::Service, Portal::Path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    version.setArguments({Portal::GlobalShortcuts, QStringLiteral("version")});
    QDBusMessage daemon = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    daemon.setArguments({Portal::KGlobalAccelService});
    QDBusMessage kwin = daemon;
    kwin.setArguments({QStringLiteral("org.kde.KWin")});
    const auto ask = [this, &bus](const QDBusMessage &question, bool *answer) {
        ++m_questionsOpen;
        auto *watcher =
            new QDBusPendingCallWatcher(bus.asyncCall(question, QuestionTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, answer] {
            watcher->deleteLater();
            const QDBusMessage reply = watcher->reply();
            *answer = reply.type() == QDBusMessage::ReplyMessage &&
                      (reply.arguments().isEmpty() ||
                       reply.arguments().first().typeId() != QMetaType::Bool ||
                       reply.arguments().first().toBool());
            if (--m_questionsOpen == 0)
                answered();
        });
    };
    ask(version, &m_portal);
    ask(daemon, &m_kglobalaccel);
    ask(kwin, &m_kwin);
    connect(&m_keys, &PortalKeySender::tokenChanged, this, &HotKeyPlatform::keyboardTokenChanged);
}

PortalPlatform::~PortalPlatform() = default;

void PortalPlatform::answered()
{
    m_state = m_portal ? State::Ready : State::Missing;
    // What an earlier run left bound (it crashed, or was killed) goes now, not at the first tick.
    // A back-end made meanwhile does the same once it applies its own set.
    if (m_state == State::Ready && m_kglobalaccel && !m_backend)
        PortalShortcutBackend::releaseBindings({}, this);
    if (m_kwin) {
        m_focus.start();
        m_keys.followKWinLayouts();
    }
    Q_EMIT detected();
    Q_EMIT descriptionChanged();
}

QString PortalPlatform::description() const
{
    switch (m_state) {
    case State::Asking:
        return tr("Hot keys: asking the desktop for its global shortcuts portal (Wayland).");
    case State::Ready:
        return tr("Hot keys: the desktop's global shortcuts portal (Wayland); the paste key is "
                  "sent through its remote desktop portal.");
    case State::Missing:
        break;
    }
    return tr("Hot keys cannot work here: this Wayland desktop offers no global shortcuts "
              "portal, and Wayland lets no program watch the keyboard itself.");
}

QString PortalPlatform::refusalReason() const
{
    if (m_state == State::Missing)
        return tr("This Wayland desktop offers no global shortcuts portal, so no hot key can be "
                  "registered. Hot keys work in an X11 session, or on a desktop that offers the "
                  "portal (KDE Plasma 5.27 or later, GNOME 48 or later).");
    return tr("The desktop did not bind this hot key: another program holds it, or it was "
              "refused. Its system settings can give it another key.");
}

QString PortalPlatform::typedWarning() const
{
    if (m_keys.leftOut().isEmpty())
        return QString();
    return tr("The keyboard layout in use has no key for %1, so the typed text went without it.")
        .arg(m_keys.leftOut());
}

std::unique_ptr<ShortcutBackend>
PortalPlatform::createShortcutBackend(ShortcutBackend::Handlers handlers)
{
    auto backend = std::make_unique<PortalShortcutBackend>(std::move(handlers), *this);
    m_backend = backend.get();
    return backend;
}

void PortalPlatform::sendStroke(int stroke, StrokeDone done)
{
    if (!PasteKeyTable::pastesPrimary(stroke))
        m_keys.sendStroke(stroke, std::move(done));
    else if (m_primary == Primary::Writing)
        m_waitingForPrimary.append({stroke, std::move(done)});
    else
        sendPrimaryStroke(stroke, std::move(done));
}

// Not every compositor lets a program without the focus set the primary selection (KWin 5.27
// does not), and pasting what it held before could run a command in a shell.
void PortalPlatform::sendPrimaryStroke(int stroke, StrokeDone done)
{
    if (m_primary == Primary::Set)
        m_keys.sendStroke(stroke, std::move(done));
    else
        done(tr("This program pastes the primary selection (Shift+Insert), which the desktop "
                "does not let Keyquill set; the text is on the clipboard."));
}

void PortalPlatform::primaryWritten(QObject *write, bool set)
{
    if (write != m_primaryWrite)
        return;
    m_primaryWrite = nullptr;
    m_primary = set ? Primary::Set : Primary::NotSet;
    for (auto &waiting : std::exchange(m_waitingForPrimary, {}))
        sendPrimaryStroke(waiting.first, std::move(waiting.second));
}

void PortalPlatform::setClipboard(const QString &text, QClipboard::Mode mode)
{
    // Wayland lets only the program with the keyboard focus set the clipboard through Qt (the
    // compositor ignores it, while Qt believes it owns the clipboard); wl-copy goes through the
    // compositor's data-control protocol instead.
    const QString wlCopy = mode == QClipboard::FindBuffer
                               ? QString()
                               : QStandardPaths::findExecutable(QStringLiteral("wl-copy"));
    const bool primary = mode == QClipboard::Selection;
    if (wlCopy.isEmpty()) {
        HotKeyPlatform::setClipboard(text, mode);
        if (primary)
            m_primary = Primary::NotSet;
        return;
    }
    // wl-copy stays in the background to serve the text until the clipboard changes hands;
    // the process we start returns once the text is on the clipboard.
    auto *process = new QProcess(this);
    if (primary) {
        m_primary = Primary::Writing;
        m_primaryWrite = process;
    }
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    connect(process, &QProcess::finished, this,
            [this, process, primary](int code, QProcess::ExitStatus status) {
                if (primary)
                    primaryWritten(process, status == QProcess::NormalExit && code == 0);
                process->deleteLater();
            });
    connect(process, &QProcess::errorOccurred, this,
            [this, process, text, mode, primary](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart) {
                    HotKeyPlatform::setClipboard(text, mode);
                    if (primary)
                        primaryWritten(process, false);
                    process->deleteLater();
                }
            });
    QStringList arguments{QStringLiteral("--type"), QStringLiteral("text/plain;charset=utf-8")};
    if (primary)
        arguments.append(QStringLiteral("--primary"));
    process->start(wlCopy, arguments);
    process->write(text.toUtf8());
    process->closeWriteChannel();
}

// As with setting it, Qt reads the clipboard only while the program has the keyboard focus (it
// gives what was there when it last had it); wl-paste asks the compositor. It waits at most
// ClipboardReadMs: a program that owns the clipboard and does not answer costs no more.
QString PortalPlatform::clipboardText()
{
    const QString wlPaste = QStandardPaths::findExecutable(QStringLiteral("wl-paste"));
    if (wlPaste.isEmpty())
        return HotKeyPlatform::clipboardText();
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(wlPaste, {QStringLiteral("--no-newline"), QStringLiteral("--type"),
                            QStringLiteral("text")});
    if (!process.waitForFinished(ClipboardReadMs)) {
        process.kill();
        process.waitForFinished();
        return QString();
    }
    // An empty clipboard ends it with an error.
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}
