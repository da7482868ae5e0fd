#include "singleinstance.h"

#include <QByteArray>
#include <QSharedMemory>
#include <cstring>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace {

constexpr char RestoreRequest[] = "restore"; // 7 letters and the terminating zero: 8 bytes

} // namespace

QString SingleInstanceGuard::baseKey()
{
    const QByteArray fromEnv = qgetenv("KEYQUILL_INSTANCE_KEY");
    return fromEnv.isEmpty() ? QStringLiteral("keyquill") : QString::fromLocal8Bit(fromEnv);
}

QString SingleInstanceGuard::userKey(const QString &base)
{
#if defined(Q_OS_UNIX)
    return base + QStringLiteral("-uid") + QString::number(::getuid());
#else
    return base;
#endif
}

SingleInstanceGuard::SingleInstanceGuard(const QString &base)
    : m_key(userKey(base)), m_memory(std::make_unique<QSharedMemory>(m_key))
{
}

SingleInstanceGuard::~SingleInstanceGuard() = default;

bool SingleInstanceGuard::create()
{
    if (m_memory->create(SegmentSize, QSharedMemory::ReadWrite))
        return true;
    if (m_memory->error() != QSharedMemory::AlreadyExists)
        return false;
    // A segment survives an instance that was killed. Attaching and detaching again removes it
    // when nobody else is attached; with a live instance attached it stays and create fails.
    {
        QSharedMemory probe(m_key);
        if (probe.attach(QSharedMemory::ReadWrite))
            probe.detach();
    }
    return m_memory->create(SegmentSize, QSharedMemory::ReadWrite);
}

bool SingleInstanceGuard::sendRestoreRequest()
{
    if (!m_memory->attach(QSharedMemory::ReadWrite))
        return false;
    bool written = false;
    if (m_memory->lock()) {
        std::memcpy(m_memory->data(), RestoreRequest, sizeof RestoreRequest);
        m_memory->unlock();
        written = true;
    }
    m_memory->detach();
    return written;
}

void SingleInstanceGuard::pollRestoreRequest(const QString &base,
                                             const std::function<void()> &onRestore)
{
    QSharedMemory memory(userKey(base));
    if (!memory.attach(QSharedMemory::ReadWrite))
        return;
    if (!memory.lock()) {
        memory.detach();
        return;
    }
    auto *bytes = static_cast<char *>(memory.data());
    const int limit = static_cast<int>(qMin<qsizetype>(memory.size(), SegmentSize));
    const QByteArray text(bytes, static_cast<int>(qstrnlen(bytes, static_cast<size_t>(limit))));
    if (text == RestoreRequest && onRestore)
        onRestore();
    bytes[0] = '\0';
    memory.unlock();
    memory.detach();
}
