#pragma once

#include <memory>
#include <QString>

// The kernel side of the single-instance guard: one small shared segment per user and the lock
// that guards it, held by the first instance for its whole life. The platform file chosen by
// CMake fills it in (guardsegment_posix.cpp for System V IPC, guardsegment_other.cpp through
// QSharedMemory).
class GuardSegment final
{
public:
    static constexpr int Size = 512;

    enum class Found {
        Created, // ours to hold: no live instance of this user
        Live,    // attached to the segment of this user's live instance
        Failed   // neither; problem() says what was found
    };

    explicit GuardSegment(const QString &base);
    ~GuardSegment();
    GuardSegment(const GuardSegment &) = delete;
    GuardSegment &operator=(const GuardSegment &) = delete;

    Found open();
    QString problem() const;

    // The attached segment, Size bytes; null unless open() found or created it.
    char *data() const;

    // Waits at most waitMs for the lock (0: one try). Never blocks longer: another user or a
    // hung instance must not freeze the caller.
    bool lock(int waitMs);
    void unlock();

    // The kernel key the first instance named for its segment and lock, for tests; -1 where
    // there is none or keys are names, not numbers.
    static int publishedKey(const QString &base);

    // True while a live instance of this user holds the guard; looks without touching anything.
    static bool isHeld(const QString &base);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
