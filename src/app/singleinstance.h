#pragma once

#include <memory>
#include <QObject>
#include <QString>
#include <QTimer>

class GuardSegment;

// The single-instance guard: a small shared segment that the first instance holds for its whole
// life, and through which a second start leaves the restore request "restore". The first
// instance polls it once a second and emits restoreRequested().
class SingleInstanceGuard final : public QObject
{
    Q_OBJECT

public:
    enum class Role {
        First,    // this process holds the guard and polls it
        Second,   // this user's instance runs: send the restore request and leave
        Unguarded // no guard could be had; problem() says why, the program runs without one
    };

    // The guard key of this program ("keyquill"); the environment variable
    // KEYQUILL_INSTANCE_KEY replaces it so that tests never touch a user's running instance.
    static QString baseKey();

    explicit SingleInstanceGuard(const QString &base = baseKey(), QObject *parent = nullptr);
    ~SingleInstanceGuard() override;

    Role claim();
    QString problem() const;

    // Second-start side: leaves "restore" in the live instance's segment. False when it could
    // not be locked in a moment (nothing is written then).
    bool sendRestoreRequest();

    // One tick of the poll (the timer runs it every second): emits restoreRequested() under the
    // lock when the text is "restore", and clears byte 0 whatever the text was.
    void poll();

Q_SIGNALS:
    void restoreRequested();

private:
    std::unique_ptr<GuardSegment> m_segment;
    QTimer m_pollTimer;
    Role m_role = Role::Unguarded;
};
