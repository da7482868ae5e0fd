// The one place that picks a platform's hot-key and key-stroke back-ends.
#include "hotkeyplatform.h"

#include "hotkeys/focusedwindow.h"
#include "hotkeys/keyboardstate.h"
#include "hotkeys/keysender.h"
#include "hotkeys/shortcutbackend.h"

#include <QCoreApplication>
#include <QGuiApplication>

#if KEYQUILL_X11
#include "hotkeys/x11/x11backends.h"
#endif
#if KEYQUILL_PORTAL
#include "hotkeys/portal/portalkeysender.h"
#include "hotkeys/portal/portalrequest.h"
#include "hotkeys/portal/portalshortcutbackend.h"

#include <QDBusConnection>
#include <QDBusMessage>
#endif

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("HotKeyPlatform", text);
}

bool isXcb()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

#if KEYQUILL_PORTAL
bool portalOffersGlobalShortcuts()
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        Portal::Service, Portal::Path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    message.setArguments({Portal::GlobalShortcuts, QStringLiteral("version")});
    // The portal may be started on demand for this call.
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, 10000);
    return reply.type() == QDBusMessage::ReplyMessage;
}
#endif

} // namespace

bool HotKeyPlatform::isWayland()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

HotKeyPlatform::Kind HotKeyPlatform::detect(QString *why)
{
    QString reason;
    Kind kind = Kind::None;
    if (isXcb()) {
#if KEYQUILL_X11
        kind = Kind::X11;
#else
        reason = tr("this build of Keyquill has no X11 support");
#endif
    } else if (isWayland()) {
#if KEYQUILL_PORTAL
        if (portalOffersGlobalShortcuts())
            kind = Kind::Portal;
        else
            reason = tr("this Wayland desktop offers no global shortcuts portal, and Wayland lets "
                        "no program watch the keyboard itself");
#else
        reason = tr("this build of Keyquill has no D-Bus support for the desktop portals");
#endif
    } else {
        reason = tr("the \"%1\" display has no keyboard shared between programs")
                     .arg(QGuiApplication::platformName());
    }
    if (why)
        *why = reason;
    return kind;
}

QString HotKeyPlatform::describe()
{
    QString why;
    switch (detect(&why)) {
    case Kind::X11:
        return tr("Hot keys: X11 key grabs; the paste key is sent through XTest.");
    case Kind::Portal:
        return tr("Hot keys: the desktop's global shortcuts portal (Wayland); the paste key is "
                  "sent through its remote desktop portal.");
    case Kind::None:
        break;
    }
    return tr("Hot keys cannot work here: %1.").arg(why);
}

std::unique_ptr<ShortcutBackend> ShortcutBackend::create(Handlers handlers)
{
    switch (HotKeyPlatform::detect()) {
    case HotKeyPlatform::Kind::X11:
#if KEYQUILL_X11
        return createX11ShortcutBackend(std::move(handlers));
#else
        break;
#endif
    case HotKeyPlatform::Kind::Portal:
#if KEYQUILL_PORTAL
        return std::make_unique<PortalShortcutBackend>(std::move(handlers));
#else
        break;
#endif
    case HotKeyPlatform::Kind::None:
        break;
    }
    return nullptr;
}

bool KeySender::sendPaste(int stroke)
{
    // No portal question here: a paste follows a hot key, so the platform has them.
#if KEYQUILL_X11
    if (isXcb())
        return sendX11Paste(stroke);
#endif
#if KEYQUILL_PORTAL
    // Always Ctrl+V: the portals name no focused program, so no other stroke is ever chosen.
    if (HotKeyPlatform::isWayland()) {
        PortalKeySender *sender = PortalKeySender::forApplication();
        return sender && sender->sendPaste();
    }
#endif
    Q_UNUSED(stroke)
    return false;
}

bool KeyboardState::isFree(int code)
{
#if KEYQUILL_X11
    if (isXcb())
        return x11KeysFree(code);
#endif
    // Elsewhere nothing tells which keys are down: the paste goes after the usual wait.
    Q_UNUSED(code)
    return true;
}

QStringList FocusedWindow::windowClass()
{
#if KEYQUILL_X11
    if (isXcb())
        return x11FocusedWindowClass();
#endif
    // Elsewhere nothing names the focused program: every window gets Ctrl+V.
    return {};
}
