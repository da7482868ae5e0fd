#pragma once

#include "hotkeys/portal/waylandkeymap.h"

#include <functional>
#include <memory>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

// The paste key stroke on a Wayland session, through the desktop's RemoteDesktop portal (no
// program may send keys to another there). The keyboard session starts with the first paste,
// which is sent once the desktop has agreed. The desktop is asked to remember its answer: where
// it hands back a restore token, the next session (of this run or the next) starts with it
// without asking, and the session is then let go of a while after the last paste, so that the
// desktop's "remote control" indicator shows only around pastes. Without a token the session
// serves the program's whole life: starting it again could ask the user again.
class KeystrokePlan;

class PortalKeySender final : public QObject
{
    Q_OBJECT

public:
    // A session started with a token ends this long after its last paste.
    static constexpr int IdleMs = 60000;

    // Runs once: "" when the stroke went out, else why it did not.
    using Done = std::function<void(const QString &failure)>;

    explicit PortalKeySender(QObject *parent = nullptr);
    ~PortalKeySender() override;

    // Sends `stroke` (a Qt key OR-ed with Ctrl and/or Shift), starting the keyboard session
    // first if need be.
    void sendStroke(int stroke, Done done);
    // Types `text`: on KWin (after followKWinLayouts()) as the keys of the layout in use, with
    // what that layout cannot type left out; elsewhere key symbol by key symbol, each one's key
    // found by the desktop.
    void typeText(const QString &text, Done done);
    // What the last text typed left out ("" when nothing).
    QString leftOut() const { return m_leftOut; }
    // Types by keys from now on, following KWin's keyboard layouts and its switches between them.
    void followKWinLayouts();
    // The name of the layout a text is typed on now; "" where typed by key symbols.
    QString typingLayout() const;
    // The token an earlier session left; one the desktop gave in this run stays in use.
    void setToken(const QString &token);

Q_SIGNALS:
    // The desktop gave a new token (tokens serve once), or none: keep it for the next start.
    void tokenChanged(const QString &token);

private Q_SLOTS:
    void sessionClosed();
    void layoutSwitched(uint layout);
    void askLayout();

private:
    enum class State { Idle, Starting, Started, Refused };
    struct Pending
    {
        int stroke;
        Done done;
        QString text; // typed instead, where stroke is 0
    };

    void start();
    void step(uint response, const QVariantMap &results);
    void started(const QVariantMap &results);
    void refuse();
    void send(Pending pending);
    void queueKeys(int stroke, Done done);
    void queueText(const QString &text, Done done);
    int queueLayoutKeys(const QString &text);
    uint layoutInUse() const;
    void sendNextKey();
    void letGo();

    State m_state = State::Idle;
    QString m_session;
    QString m_token;
    bool m_tokenFromDesktop = false;
    int m_step = 0;
    QList<Pending> m_waiting; // pastes asked for before the session was ready
    struct Key
    {
        int keysym; // or an evdev key code, where `keycode` says so
        bool down;
        Done done; // set on the last key of a stroke
        bool typed = false;
        bool keycode = false;
        bool settleFirst = false; // a dead key: sent once the target has taken the keys before
    };
    QList<Key> m_keys; // still to send
    bool m_keyInFlight = false;
    QTimer m_idle;
    QString m_leftOut;
    // Typing by keys: the compositor's keymap, its group in use, and the plan made for them.
    std::unique_ptr<WaylandKeymap> m_keymap;
    uint m_layout = 0;
    std::unique_ptr<KeystrokePlan> m_plan;
    int m_planGeneration = 0;
    uint m_planLayout = 0;
};
