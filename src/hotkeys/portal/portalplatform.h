#pragma once

#include "hotkeys/clipboardaccess.h"
#include "hotkeys/focustracker.h"
#include "hotkeys/keyoutput.h"
#include "hotkeys/portal/kwinfocuswatch.h"
#include "hotkeys/portal/portalkeysender.h"
#include "hotkeys/portal/wlclipboard.h"
#include "hotkeys/shortcutservice.h"

#include <QHash>
#include <QPointer>
#include <utility>

class PlatformEvents;
class PortalShortcutBackend;

// A Wayland session: hot keys through the desktop's GlobalShortcuts portal, the paste stroke
// through its RemoteDesktop portal, the clipboard through wl-clipboard, the focused program through
// KWin's scripting where KWin runs (the portals never name it). Whether the desktop offers the
// portal (and KDE's shortcut daemon behind it, and KWin) is asked in the background at start;
// until the answer comes, registrations wait and the description says so.
class PortalPlatform final : public QObject,
                             public ShortcutService,
                             public KeyOutput,
                             public ClipboardAccess,
                             public FocusTracker
{
    Q_OBJECT

public:
    enum class State { Asking, Ready, Missing };

    // Tells through `events` what the desktop answered and the keyboard tokens it gives.
    explicit PortalPlatform(PlatformEvents &events);
    ~PortalPlatform() override;

    State state() const { return m_state; }
    // KDE's shortcut daemon runs behind the portal (it can say what it really bound).
    bool hasKGlobalAccel() const { return m_kglobalaccel; }

    QString description() const override;
    std::unique_ptr<ShortcutBackend>
    createShortcutBackend(ShortcutBackend::Handlers handlers) override;
    void sendStroke(int stroke, Done done) override;
    void typeText(const QString &text, Done done) override
    {
        m_keys.typeText(text, std::move(done));
    }
    QString typedWarning() const override;
    QString typingLayout() const { return m_keys.typingLayout(); }
    QStringList focusedWindowClass() override { return m_focus.focused(); }
    bool namesFocusedProgram() const override { return m_focus.isWatching(); }
    void setClipboard(const QString &text, QClipboard::Mode mode) override;
    QString clipboardText() override;
    bool copyClipboard(QClipboard::Mode mode, std::unique_ptr<QMimeData> *copy) override;
    bool clipboardHolds(QClipboard::Mode mode, const QString &text) override;
    void restoreClipboard(QClipboard::Mode mode, std::unique_ptr<QMimeData> copy) override;
    bool echoesStrokes() const override { return true; }
    QString refusalReason() const override;
    void nameShortcut(int code, const QString &name) override;
    // The name given to `code`, "" for a note's.
    QString shortcutName(int code) const { return m_names.value(code); }
    // The desktop answered the creation of the shortcuts session: refused (response 1 or 2, as
    // a desktop without a shortcuts service of its own does) or not.
    void setSessionRefused(bool refused);
    void setKeyboardToken(const QString &token) override { m_keys.setToken(token); }
    QString takeActivationToken() override { return std::exchange(m_activationToken, {}); }
    // The one that came with the last press of a hot key.
    void setActivationToken(const QString &token) { m_activationToken = token; }

Q_SIGNALS:
    // The desktop answered: state() is Ready or Missing now.
    void detected();

private:
    enum class Primary { NotSet, Writing, Set };

    void answered();
    void primaryWritten(QObject *write, bool set);
    void sendPrimaryStroke(int stroke, Done done);
    void write(QClipboard::Mode mode, const QString &format, const QByteArray &data);

    PlatformEvents &m_events;
    QPointer<PortalShortcutBackend> m_backend;
    State m_state = State::Asking;
    int m_questionsOpen = 0;
    bool m_portal = false;
    bool m_kglobalaccel = false;
    bool m_kwin = false;
    bool m_sessionRefused = false;
    QHash<int, QString> m_names;
    PortalKeySender m_keys;
    WlClipboard m_clipboard;
    KWinFocusWatch m_focus;
    // Shift+Insert pastes the primary selection: it waits for the write of the text there, and
    // is not sent where the write failed.
    Primary m_primary = Primary::NotSet;
    QObject *m_primaryWrite = nullptr;
    QList<QPair<int, Done>> m_waitingForPrimary;
    QString m_activationToken;
};
