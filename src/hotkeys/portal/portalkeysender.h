#pragma once

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVariantMap>

// The paste key stroke on a Wayland session, through the desktop's RemoteDesktop portal (no
// program may send keys to another there). One keyboard session serves the program's whole
// life; it starts with the first paste, which is sent once the desktop has agreed.
class PortalKeySender final : public QObject
{
    Q_OBJECT

public:
    // The application's sender (a child of the application object), made on first use.
    static PortalKeySender *forApplication();

    // False once the desktop has refused the keyboard; the text then stays on the clipboard.
    bool sendPaste();

private Q_SLOTS:
    void sessionClosed();

private:
    enum class State { Idle, Starting, Started, Refused };

    explicit PortalKeySender(QObject *parent);
    void start();
    void step(uint response, const QVariantMap &results);
    void sendStroke();
    void sendNextKey();

    State m_state = State::Idle;
    QString m_session;
    int m_step = 0;
    int m_waiting = 0;              // pastes asked for before the session was ready
    QList<QPair<int, bool>> m_keys; // key symbols still to send, and whether down
    bool m_keyInFlight = false;
};
