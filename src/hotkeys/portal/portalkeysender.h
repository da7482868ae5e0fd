#pragma once

#include <functional>
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
    // Runs once: "" when the stroke went out, else why it did not.
    using Done = std::function<void(const QString &failure)>;

    explicit PortalKeySender(QObject *parent = nullptr);

    // Sends Ctrl+V, starting the keyboard session first if need be.
    void sendPaste(Done done);

private Q_SLOTS:
    void sessionClosed();

private:
    enum class State { Idle, Starting, Started, Refused };

    void start();
    void step(uint response, const QVariantMap &results);
    void refuse();
    void sendStroke(Done done);
    void sendNextKey();

    State m_state = State::Idle;
    QString m_session;
    int m_step = 0;
    QList<Done> m_waiting; // pastes asked for before the session was ready
    struct Key
    {
        int keysym;
        bool down;
        Done done; // set on the last key of a stroke
    };
    QList<Key> m_keys; // still to send
    bool m_keyInFlight = false;
};
