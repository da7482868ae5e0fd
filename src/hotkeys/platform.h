#pragma once

#include "hotkeys/clipboardaccess.h"
#include "hotkeys/focustracker.h"
#include "hotkeys/keyoutput.h"
#include "hotkeys/platformevents.h"
#include "hotkeys/shortcutservice.h"

#include <memory>
#include <QObject>
#include <vector>

// What the session offers, as the four roles a back-end plays: hot keys, keys sent, the
// clipboard, the focused program. Made once at start and handed to whatever needs one of them; a
// back-end fills in the roles it can play (X11 grabs and XTest, the desktop portals on Wayland)
// and the others keep their defaults. Tests fill in fakes of what they need.
class Platform final
{
public:
    // The platform of the session Qt runs in. Nothing here waits: a Wayland desktop's portals are
    // asked in the background.
    static std::unique_ptr<Platform> create();

    // Defaults only: no hot keys (for the reason `why`), no keys sent, Qt's clipboard, no focus
    // known.
    explicit Platform(const QString &why = QString());
    ~Platform();
    Platform(const Platform &) = delete;
    Platform &operator=(const Platform &) = delete;

    ShortcutService &shortcuts() const { return *m_shortcuts; }
    KeyOutput &keys() const { return *m_keys; }
    ClipboardAccess &clipboard() const { return *m_clipboard; }
    FocusTracker &focus() const { return *m_focus; }
    PlatformEvents &events() { return m_events; }

    // The roles a back-end plays; they must live as long as the platform (keep() them).
    void setShortcuts(ShortcutService &shortcuts) { m_shortcuts = &shortcuts; }
    void setKeys(KeyOutput &keys) { m_keys = &keys; }
    void setClipboard(ClipboardAccess &clipboard) { m_clipboard = &clipboard; }
    void setFocus(FocusTracker &focus) { m_focus = &focus; }
    // Owns a back-end's objects; they go before the defaults and the events.
    void keep(std::unique_ptr<QObject> backend) { m_kept.push_back(std::move(backend)); }

private:
    PlatformEvents m_events;
    std::unique_ptr<ShortcutService> m_noShortcuts;
    std::unique_ptr<KeyOutput> m_noKeys;
    ClipboardAccess m_qtClipboard;
    FocusTracker m_noFocus;
    ShortcutService *m_shortcuts;
    KeyOutput *m_keys;
    ClipboardAccess *m_clipboard = &m_qtClipboard;
    FocusTracker *m_focus = &m_noFocus;
    std::vector<std::unique_ptr<QObject>> m_kept;
};

// The factories of the back-end folders (x11/, portal/); a build without one of them gets one
// from null/ whose platform says what is missing.
std::unique_ptr<Platform> createX11Platform();
std::unique_ptr<Platform> createPortalPlatform();
