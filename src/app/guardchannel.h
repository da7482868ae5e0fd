#pragma once

#include <memory>
#include <QByteArray>
#include <QList>
#include <QString>

// The kernel side of the single-instance guard: what decides which start is the first, held by
// the first instance for its whole life, and the channel through which a later start leaves it
// a message. The platform file chosen by CMake fills it in (guardchannel_posix.cpp: a lock file
// and a FIFO in the user's private folder; guardchannel_other.cpp: Qt's shared memory).
class GuardChannel final
{
public:
    // The longest message; a longer one is refused.
    static constexpr int MaxMessage = 511;

    enum class Found {
        Created, // ours to hold: no live instance of this user
        Live,    // this user's instance runs
        Failed   // neither can be told; problem() says why
    };

    explicit GuardChannel(const QString &base);
    ~GuardChannel();
    GuardChannel(const GuardChannel &) = delete;
    GuardChannel &operator=(const GuardChannel &) = delete;

    Found open();
    // Why open() failed, or why the first instance has no channel to be reached through.
    QString problem() const;

    // Second-start side: leaves `message` for the live instance. Never waits long; false when
    // it could not be left (nothing is sent then).
    bool send(const QByteArray &message);
    // First-instance side: the messages left since the last call, oldest first; never waits.
    QList<QByteArray> receive();

    // True while a live instance of this user holds the guard and can be reached; looks
    // without taking or sending anything.
    static bool isHeld(const QString &base);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
