// The one place that picks the platform. Each back-end folder provides its factory; a build
// without a back-end gets one from null/ that says what is missing (chosen in CMake).
#include "hotkeyplatform.h"

#include "hotkeys/null/nullplatform.h"

#include <QCoreApplication>
#include <QGuiApplication>

std::unique_ptr<HotKeyPlatform> HotKeyPlatform::create()
{
    const QString name = QGuiApplication::platformName();
    if (name == QLatin1String("xcb"))
        return createX11Platform();
    if (name.startsWith(QLatin1String("wayland")))
        return createPortalPlatform();
    return std::make_unique<NullPlatform>(
        QCoreApplication::translate("HotKeyPlatform",
                                    "the \"%1\" display has no keyboard shared between programs")
            .arg(name));
}

bool HotKeyPlatform::keysFree(int)
{
    return true;
}

QStringList HotKeyPlatform::focusedWindowClass()
{
    return {};
}

void HotKeyPlatform::setClipboard(const QString &text, QClipboard::Mode mode)
{
    QGuiApplication::clipboard()->setText(text, mode);
}

bool HotKeyPlatform::namesFocusedProgram() const
{
    return false;
}

bool HotKeyPlatform::echoesStrokes() const
{
    return false;
}

void HotKeyPlatform::nameShortcut(int, const QString &) {}

QString HotKeyPlatform::refusalReason() const
{
    return tr("Another program holds this hot key, or the keyboard layout has no such key.");
}

QString HotKeyPlatform::caveat() const
{
    return QString();
}

void HotKeyPlatform::setKeyboardToken(const QString &) {}

QString HotKeyPlatform::takeActivationToken()
{
    return QString();
}

quintptr HotKeyPlatform::focusedWindow()
{
    return 0;
}

void HotKeyPlatform::giveFocusBack(quintptr) {}

QString HotKeyPlatform::clipboardText()
{
    return QGuiApplication::clipboard()->text();
}

bool HotKeyPlatform::copyClipboard(QClipboard::Mode mode, std::unique_ptr<QMimeData> *copy)
{
    copy->reset();
    const QMimeData *now = QGuiApplication::clipboard()->mimeData(mode);
    if (!now || now->formats().isEmpty())
        return true;
    *copy = std::make_unique<QMimeData>();
    for (const QString &format : now->formats())
        (*copy)->setData(format, now->data(format));
    return true;
}

bool HotKeyPlatform::clipboardHolds(QClipboard::Mode mode, const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    const bool ours = mode == QClipboard::Selection    ? clipboard->ownsSelection()
                      : mode == QClipboard::FindBuffer ? clipboard->ownsFindBuffer()
                                                       : clipboard->ownsClipboard();
    const QMimeData *now = ours ? clipboard->mimeData(mode) : nullptr;
    return now && now->text() == text;
}

void HotKeyPlatform::restoreClipboard(QClipboard::Mode mode, std::unique_ptr<QMimeData> copy)
{
    if (copy)
        QGuiApplication::clipboard()->setMimeData(copy.release(), mode); // the clipboard takes it
    else
        QGuiApplication::clipboard()->clear(mode);
}

QString HotKeyPlatform::typedWarning() const
{
    return QString();
}

void HotKeyPlatform::typeText(const QString &, StrokeDone done)
{
    done(tr("This desktop cannot type text."));
}
