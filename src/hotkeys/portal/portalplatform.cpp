#include "portalplatform.h"

#include "core/pastekeytable.h"
#include "hotkeys/platform.h"
#include "hotkeys/portal/portalrequest.h"
#include "hotkeys/portal/portalshortcutbackend.h"

#include <algorithm>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMimeData>

namespace {

// The portal may be started on demand for the question; a desktop that takes longer than this
// has no portal to speak of.
constexpr int QuestionTimeoutMs = 25000;

} // namespace

std::unique_ptr<Platform> createPortalPlatform()
{
    auto platform = std::make_unique<Platform>();
    auto backend = std::make_unique<PortalPlatform>(platform->events());
    platform->setShortcuts(*backend);
    platform->setKeys(*backend);
    platform->setClipboard(*backend);
    platform->setFocus(*backend);
    platform->keep(std::move(backend));
    return platform;
}

PortalPlatform::PortalPlatform(PlatformEvents &events) : m_events(events)
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
    connect(&m_keys, &PortalKeySender::tokenChanged, &m_events,
            &PlatformEvents::keyboardTokenChanged);
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
    Q_EMIT m_events.descriptionChanged();
}

QString PortalPlatform::description() const
{
    switch (m_state) {
    case State::Asking:
        return tr("Hot keys: asking the desktop for its global shortcuts portal (Wayland).");
    case State::Ready:
        if (m_sessionRefused)
            return tr("Hot keys cannot work here: this Wayland desktop refused the global "
                      "shortcuts session, so it binds none of them.");
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
    if (m_sessionRefused)
        return tr("This desktop refused the global shortcuts session, so it binds no hot key of "
                  "Keyquill. Hot keys work in an X11 session, or for X11 programs when Keyquill "
                  "is started with QT_QPA_PLATFORM=xcb.");
    return tr("The desktop did not bind this hot key: another program holds it, or it was "
              "refused. Its system settings can give it another key.");
}

void PortalPlatform::setSessionRefused(bool refused)
{
    if (std::exchange(m_sessionRefused, refused) != refused)
        Q_EMIT m_events.descriptionChanged();
}

void PortalPlatform::nameShortcut(int code, const QString &name)
{
    if (name.isEmpty())
        m_names.remove(code);
    else
        m_names.insert(code, name);
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

void PortalPlatform::sendStroke(int stroke, Done done)
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
void PortalPlatform::sendPrimaryStroke(int stroke, Done done)
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
    const bool primary = mode == QClipboard::Selection;
    if (mode == QClipboard::FindBuffer || !m_clipboard.isAvailable()) {
        ClipboardAccess::setClipboard(text, mode);
        if (primary)
            m_primary = Primary::NotSet;
        return;
    }
    write(mode, QStringLiteral("text/plain;charset=utf-8"), text.toUtf8());
}

void PortalPlatform::write(QClipboard::Mode mode, const QString &format, const QByteArray &data)
{
    const bool primary = mode == QClipboard::Selection;
    auto *written = new QObject(this); // stands for this write while it runs
    if (primary) {
        m_primary = Primary::Writing;
        m_primaryWrite = written;
    }
    m_clipboard.write(primary, format, data, [this, written, primary](bool set) {
        if (primary)
            primaryWritten(written, set);
        written->deleteLater();
    });
}

QString PortalPlatform::clipboardText()
{
    if (!m_clipboard.isAvailable())
        return ClipboardAccess::clipboardText();
    QStringList formats;
    QByteArray text;
    if (!m_clipboard.formats(false, &formats) || formats.isEmpty() ||
        !m_clipboard.read(false, QStringLiteral("text"), &text))
        return QString();
    return QString::fromUtf8(text);
}

// wl-copy offers one format: the text where there is one (a program that copied more offers
// it too), else an image, else the first format.
bool PortalPlatform::copyClipboard(QClipboard::Mode mode, std::unique_ptr<QMimeData> *copy)
{
    if (mode == QClipboard::FindBuffer || !m_clipboard.isAvailable())
        return ClipboardAccess::copyClipboard(mode, copy);
    copy->reset();
    const bool primary = mode == QClipboard::Selection;
    QStringList formats;
    if (!m_clipboard.formats(primary, &formats))
        return false;
    if (formats.isEmpty())
        return true;
    const auto first = [&formats](const auto &is) {
        const auto found = std::find_if(formats.cbegin(), formats.cend(), is);
        return found == formats.cend() ? QString() : *found;
    };
    QString format = first([](const QString &f) {
        return f.startsWith(QLatin1String("text/plain")) || f == QLatin1String("UTF8_STRING") ||
               f == QLatin1String("STRING") || f == QLatin1String("TEXT");
    });
    if (!format.isEmpty())
        format = QStringLiteral("text");
    else
        format = first([](const QString &f) { return f.startsWith(QLatin1String("image/")); });
    if (format.isEmpty())
        format = first([](const QString &f) { return f.contains(QLatin1Char('/')); });
    QByteArray data;
    if (format.isEmpty() || !m_clipboard.read(primary, format, &data))
        return false;
    *copy = std::make_unique<QMimeData>();
    (*copy)->setData(format == QLatin1String("text") ? QStringLiteral("text/plain;charset=utf-8")
                                                     : format,
                     data);
    return true;
}

bool PortalPlatform::clipboardHolds(QClipboard::Mode mode, const QString &text)
{
    if (mode == QClipboard::FindBuffer || !m_clipboard.isAvailable())
        return ClipboardAccess::clipboardHolds(mode, text);
    const bool primary = mode == QClipboard::Selection;
    QStringList formats;
    QByteArray now;
    return m_clipboard.formats(primary, &formats) && !formats.isEmpty() &&
           m_clipboard.read(primary, QStringLiteral("text"), &now) && now == text.toUtf8();
}

void PortalPlatform::restoreClipboard(QClipboard::Mode mode, std::unique_ptr<QMimeData> copy)
{
    if (mode == QClipboard::FindBuffer || !m_clipboard.isAvailable()) {
        ClipboardAccess::restoreClipboard(mode, std::move(copy));
        return;
    }
    // An empty one comes back as an empty text: KWin 5.27 leaves a cleared clipboard unreadable
    // (wl-paste never gets an answer), which would cost every later read its full wait.
    if (!copy || copy->formats().isEmpty()) {
        write(mode, QStringLiteral("text/plain;charset=utf-8"), QByteArray());
        return;
    }
    const QString format = copy->formats().constFirst();
    write(mode, format, copy->data(format));
}
