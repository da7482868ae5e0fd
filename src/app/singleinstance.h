#pragma once

#include <memory>
#include <QObject>
#include <QString>
#include <QTimer>

class GuardChannel;

// The single-instance guard: a lock that the first instance holds for its whole life, and a
// channel only this user can reach, through which a second start leaves the restore request
// "restore". The first instance polls it once a second and emits restoreRequested().
class SingleInstanceGuard final : public QObject
{
    Q_OBJECT

public:
    enum class Role {
        First,    // this process holds the guard and polls it
        Second,   // this user's instance runs: send the restore request and leave
        Unguarded // no lock could be had at all; problem() says why, the program runs without
    };

    // The guard key of this program ("keyquill"); the environment variable
    // KEYQUILL_INSTANCE_KEY replaces it so that tests never touch a user's running instance.
    static QString baseKey();

    explicit SingleInstanceGuard(const QString &base = baseKey(), QObject *parent = nullptr);
    ~SingleInstanceGuard() override;

    Role claim();
    QString problem() const;

    // Second-start side: leaves "restore" for the live instance. False when it could not be
    // reached in a moment (nothing is sent then).
    bool sendRestoreRequest();

    // One tick of the poll (the timer runs it every second): takes every message left since
    // the last tick and emits restoreRequested() once if one of them is "restore" exactly.
    void poll();

Q_SIGNALS:
    void restoreRequested();

private:
    std::unique_ptr<GuardChannel> m_channel;
    QTimer m_pollTimer;
    Role m_role = Role::Unguarded;
};
