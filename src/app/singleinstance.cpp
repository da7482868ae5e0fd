#include "singleinstance.h"

#include "guardchannel.h"

#include <QByteArray>

namespace {

constexpr char RestoreRequest[] = "restore";

} // namespace

QString SingleInstanceGuard::baseKey()
{
    const QByteArray fromEnv = qgetenv("KEYQUILL_INSTANCE_KEY");
    return fromEnv.isEmpty() ? QStringLiteral("keyquill") : QString::fromLocal8Bit(fromEnv);
}

SingleInstanceGuard::SingleInstanceGuard(const QString &base, QObject *parent)
    : QObject(parent), m_channel(std::make_unique<GuardChannel>(base))
{
    // Whole seconds are enough for a restore request, and let the system bundle wake-ups.
    m_pollTimer.setTimerType(Qt::VeryCoarseTimer);
    m_pollTimer.setInterval(1000);
    connect(&m_pollTimer, &QTimer::timeout, this, &SingleInstanceGuard::poll);
}

SingleInstanceGuard::~SingleInstanceGuard() = default;

SingleInstanceGuard::Role SingleInstanceGuard::claim()
{
    switch (m_channel->open()) {
    case GuardChannel::Found::Created:
        m_role = Role::First;
        m_pollTimer.start();
        break;
    case GuardChannel::Found::Live:
        m_role = Role::Second;
        break;
    case GuardChannel::Found::Failed:
        m_role = Role::Unguarded;
        break;
    }
    return m_role;
}

QString SingleInstanceGuard::problem() const
{
    return m_channel->problem();
}

bool SingleInstanceGuard::sendRestoreRequest()
{
    return m_role == Role::Second && m_channel->send(RestoreRequest);
}

void SingleInstanceGuard::poll()
{
    // Several second starts within one tick make one restore.
    if (m_role == Role::First && m_channel->receive().contains(RestoreRequest))
        Q_EMIT restoreRequested();
}
