#pragma once

#include "hotkeys/hotkeyplatform.h"
#include "hotkeys/portal/portalkeysender.h"

#include <QPointer>

class PortalShortcutBackend;

// A Wayland session: hot keys through the desktop's GlobalShortcuts portal, the paste stroke
// through its RemoteDesktop portal, the clipboard through wl-copy. Whether the desktop offers
// the portal (and KDE's shortcut daemon behind it) is asked in the background at start; until
// the answer comes, registrations wait and the description says so.
class PortalPlatform final : public HotKeyPlatform
{
    Q_OBJECT

public:
    enum class State { Asking, Ready, Missing };

    PortalPlatform();
    ~PortalPlatform() override;

    State state() const { return m_state; }
    // KDE's shortcut daemon runs behind the portal (it can say what it really bound).
    bool hasKGlobalAccel() const { return m_kglobalaccel; }

    QString description() const override;
    std::unique_ptr<ShortcutBackend>
    createShortcutBackend(ShortcutBackend::Handlers handlers) override;
    // Always Ctrl+V: the portals name no focused program, so no other stroke is ever chosen.
    void sendStroke(int stroke, StrokeDone done) override;
    void setClipboard(const QString &text, QClipboard::Mode mode) override;
    bool echoesStrokes() const override { return true; }
    QString refusalReason() const override;

Q_SIGNALS:
    // The desktop answered: state() is Ready or Missing now.
    void detected();

private:
    void answered();

    QPointer<PortalShortcutBackend> m_backend;
    State m_state = State::Asking;
    int m_questionsOpen = 0;
    bool m_portal = false;
    bool m_kglobalaccel = false;
    PortalKeySender m_keys;
};
