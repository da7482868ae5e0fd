#include "singleinstance.h"

#include "guardsegment.h"

#include <cstring>
#include <QByteArray>

namespace {

constexpr char RestoreRequest[] = "restore"; // 7 letters and the terminating zero: 8 bytes
constexpr int SecondStartWaitMs = 500;

} // namespace

QString SingleInstanceGuard::baseKey()
{
    const QByteArray fromEnv = qgetenv("KEYQUILL_INSTANCE_KEY");
    return fromEnv.isEmpty() ? QStringLiteral("keyquill") : QString::fromLocal8Bit(fromEnv);
}

SingleInstanceGuard::SingleInstanceGuard(const QString &base, QObject *parent)
    : QObject(parent), m_segment(std::make_unique<GuardSegment>(base))
{
    // Whole seconds are enough for a restore request, and let the system bundle wake-ups.
    m_pollTimer.setTimerType(Qt::VeryCoarseTimer);
    m_pollTimer.setInterval(1000);
    connect(&m_pollTimer, &QTimer::timeout, this, &SingleInstanceGuard::poll);
}

SingleInstanceGuard::~SingleInstanceGuard() = default;

SingleInstanceGuard::Role SingleInstanceGuard::claim()
{
    switch (m_segment->open()) {
    case GuardSegment::Found::Created:
        m_role = Role::First;
        m_pollTimer.start();
        break;
    case GuardSegment::Found::Live:
        m_role = Role::Second;
        break;
    case GuardSegment::Found::Failed:
        m_role = Role::Unguarded;
        break;
    }
    return m_role;
}

QString SingleInstanceGuard::problem() const
{
    return m_segment->problem();
}

bool SingleInstanceGuard::sendRestoreRequest()
{
    if (m_role != Role::Second || !m_segment->lock(SecondStartWaitMs))
        return false;
    std::memcpy(m_segment->data(), RestoreRequest, sizeof RestoreRequest);
    m_segment->unlock();
    return true;
}

void SingleInstanceGuard::poll()
{
    char *bytes = m_segment->data();
    // An idle tick reads one byte and makes no system call; the lock is only taken when a
    // second start has written something.
    if (m_role != Role::First || static_cast<volatile const char *>(bytes)[0] == '\0')
        return;
    if (!m_segment->lock(0))
        return; // a second start is writing: the next tick reads it
    const QByteArray text(bytes, static_cast<int>(qstrnlen(bytes, GuardSegment::Size)));
    if (text == RestoreRequest)
        Q_EMIT restoreRequested();
    bytes[0] = '\0';
    m_segment->unlock();
}
