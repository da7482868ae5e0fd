#pragma once

#include <functional>
#include <memory>
#include <QString>

class QSharedMemory;

// The single-instance guard: a small shared-memory segment that the first instance holds for
// its whole life, and through which a second start leaves a restore request.
class SingleInstanceGuard final
{
public:
    static constexpr int SegmentSize = 512;

    // The guard key of this program ("keyquill"); the environment variable
    // KEYQUILL_INSTANCE_KEY replaces it so that tests never touch a user's running instance.
    static QString baseKey();

    // The key normally used: the base key made private to the calling user, since on Linux
    // a segment is visible machine-wide while the original guard was per session.
    static QString userKey(const QString &base);

    // The key of the segment this user's running instance holds, or an empty string when
    // there is none. Usually userKey(base); a segment of another user that happens to sit on
    // that key (a clash of System V keys, or a squatted key file) moves us to a spare key.
    static QString heldKey(const QString &base);

    explicit SingleInstanceGuard(const QString &base = baseKey());
    ~SingleInstanceGuard();
    SingleInstanceGuard(const SingleInstanceGuard &) = delete;
    SingleInstanceGuard &operator=(const SingleInstanceGuard &) = delete;

    // Creates the segment. A segment of ours left behind by an instance that died is removed
    // first; false means that a live instance of this user holds it (or that no segment could
    // be made at all, which is taken the same way).
    bool create();

    // Second-start side: leaves "restore" in the live instance's segment. False when the
    // segment could not be attached or locked (nothing is written then).
    bool sendRestoreRequest();

    // First-instance side, run once per poll tick: reads the pending text under the lock,
    // calls onRestore (still under the lock) when it is "restore", and clears byte 0.
    static void pollRestoreRequest(const QString &base, const std::function<void()> &onRestore);

private:
    QString m_base;
    QString m_key; // the key created, or the key of the live instance after a failed create
    std::unique_ptr<QSharedMemory> m_memory;
};
