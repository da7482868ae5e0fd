// The one place that picks the platform, and the roles' defaults. Each back-end folder provides
// its factory; a build without a back-end gets one from null/ that says what is missing (chosen
// in CMake).
#include "platform.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Platform", text);
}

// A session without system-wide hot keys: nothing registers; the reason is said in the About box
// and in the tool tips of the notes that cannot work.
class NoShortcuts final : public ShortcutService
{
public:
    explicit NoShortcuts(const QString &why) : m_why(why) {}
    QString description() const override { return tr("Hot keys cannot work here: %1.").arg(m_why); }
    std::unique_ptr<ShortcutBackend> createShortcutBackend(ShortcutBackend::Handlers) override
    {
        return nullptr;
    }
    QString refusalReason() const override
    {
        return tr("Hot keys cannot be registered in this session: %1. They work in an X11 "
                  "session, or on a Wayland desktop that offers the global shortcuts portal.")
            .arg(m_why);
    }

private:
    QString m_why;
};

class NoKeys final : public KeyOutput
{
public:
    explicit NoKeys(const QString &why) : m_why(why) {}
    void sendStroke(int, Done done) override
    {
        done(tr("No key can be sent to other programs here: %1.").arg(m_why));
    }

private:
    QString m_why;
};

} // namespace

std::unique_ptr<Platform> Platform::create()
{
    const QString name = QGuiApplication::platformName();
    if (name == QLatin1String("xcb"))
        return createX11Platform();
    if (name.startsWith(QLatin1String("wayland")))
        return createPortalPlatform();
    return std::make_unique<Platform>(
        tr("the \"%1\" display has no keyboard shared between programs").arg(name));
}

Platform::Platform(const QString &why)
    : m_noShortcuts(std::make_unique<NoShortcuts>(
          why.isEmpty() ? tr("no hot-key back-end was chosen") : why)),
      m_noKeys(std::make_unique<NoKeys>(why.isEmpty() ? tr("no key output was chosen") : why)),
      m_shortcuts(m_noShortcuts.get()), m_keys(m_noKeys.get())
{
}

Platform::~Platform()
{
    // The back-ends first: they may still tell through the events as they go.
    while (!m_kept.empty())
        m_kept.pop_back();
}

QString ShortcutService::refusalReason() const
{
    return tr("Another program holds this hot key, or the keyboard layout has no such key.");
}

QString ShortcutService::caveat() const
{
    return QString();
}

void ShortcutService::nameShortcut(int, const QString &) {}

QString ShortcutService::takeActivationToken()
{
    return QString();
}

void KeyOutput::sendStroke(int, Done done)
{
    done(tr("No key can be sent to other programs here."));
}

void KeyOutput::typeText(const QString &, Done done)
{
    done(tr("This desktop cannot type text."));
}

QString KeyOutput::typedWarning() const
{
    return QString();
}

bool KeyOutput::keysFree(int)
{
    return true;
}

bool KeyOutput::echoesStrokes() const
{
    return false;
}

void KeyOutput::setKeyboardToken(const QString &) {}

void ClipboardAccess::setClipboard(const QString &text, QClipboard::Mode mode)
{
    QGuiApplication::clipboard()->setText(text, mode);
}

QString ClipboardAccess::clipboardText()
{
    return QGuiApplication::clipboard()->text();
}

bool ClipboardAccess::copyClipboard(QClipboard::Mode mode, std::unique_ptr<QMimeData> *copy)
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

bool ClipboardAccess::clipboardHolds(QClipboard::Mode mode, const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    const bool ours = mode == QClipboard::Selection    ? clipboard->ownsSelection()
                      : mode == QClipboard::FindBuffer ? clipboard->ownsFindBuffer()
                                                       : clipboard->ownsClipboard();
    const QMimeData *now = ours ? clipboard->mimeData(mode) : nullptr;
    return now && now->text() == text;
}

void ClipboardAccess::restoreClipboard(QClipboard::Mode mode, std::unique_ptr<QMimeData> copy)
{
    if (copy)
        QGuiApplication::clipboard()->setMimeData(copy.release(), mode); // the clipboard takes it
    else
        QGuiApplication::clipboard()->clear(mode);
}

QStringList FocusTracker::focusedWindowClass()
{
    return {};
}

bool FocusTracker::namesFocusedProgram() const
{
    return false;
}

quintptr FocusTracker::focusedWindow()
{
    return 0;
}

void FocusTracker::giveFocusBack(quintptr) {}
