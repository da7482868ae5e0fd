#include "singleinstance.h"

#include <cstring>
#include <QByteArray>
#include <QFile>
#include <QSharedMemory>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>
#endif

namespace {

constexpr char RestoreRequest[] = "restore"; // 7 letters and the terminating zero: 8 bytes

// Keys tried after userKey(base) when another user's segment sits on it.
constexpr int SpareKeys = 7;

enum class Owner { Nobody, Us, SomeoneElse };

QString candidateKey(const QString &base, int index)
{
    const QString key = SingleInstanceGuard::userKey(base);
    return index == 0 ? key : key + QLatin1Char('-') + QString::number(index);
}

// Who holds the System V segment behind a key. Qt derives the segment's id from a key file in
// the temporary folder (ftok with project id 'Q'); that file, and with it the id, can belong
// to another user, and root may even attach other users' segments. So ask the kernel for the
// segment's owner instead of trusting the name.
Owner segmentOwner(const QString &key)
{
#if defined(Q_OS_UNIX)
    const QSharedMemory memory(key);
    const QByteArray file = QFile::encodeName(memory.nativeKey());
    const key_t id = ::ftok(file.constData(), 'Q');
    if (id == -1)
        return Owner::Nobody; // no key file: nobody can have made a segment with it
    const int shm = ::shmget(id, 0, 0);
    if (shm == -1)
        return errno == ENOENT ? Owner::Nobody : Owner::SomeoneElse;
    struct shmid_ds status;
    if (::shmctl(shm, IPC_STAT, &status) != 0)
        return Owner::SomeoneElse; // not readable by us: not ours
    return status.shm_perm.uid == ::geteuid() ? Owner::Us : Owner::SomeoneElse;
#else
    Q_UNUSED(key)
    return Owner::Us;
#endif
}

} // namespace

QString SingleInstanceGuard::baseKey()
{
    const QByteArray fromEnv = qgetenv("KEYQUILL_INSTANCE_KEY");
    return fromEnv.isEmpty() ? QStringLiteral("keyquill") : QString::fromLocal8Bit(fromEnv);
}

QString SingleInstanceGuard::userKey(const QString &base)
{
#if defined(Q_OS_UNIX)
    return base + QStringLiteral("-uid") + QString::number(::geteuid());
#else
    return base;
#endif
}

QString SingleInstanceGuard::heldKey(const QString &base)
{
    for (int i = 0; i <= SpareKeys; ++i) {
        const QString key = candidateKey(base, i);
        if (segmentOwner(key) == Owner::Us)
            return key;
    }
    return {};
}

SingleInstanceGuard::SingleInstanceGuard(const QString &base) : m_base(base) {}

SingleInstanceGuard::~SingleInstanceGuard() = default;

bool SingleInstanceGuard::create()
{
    for (int i = 0; i <= SpareKeys; ++i) {
        const QString key = candidateKey(m_base, i);
        const Owner owner = segmentOwner(key);
        if (owner == Owner::SomeoneElse)
            continue;
        if (owner == Owner::Us) {
            // A segment survives an instance that was killed. Attaching and detaching removes
            // it when nobody else is attached; with a live instance attached it stays.
            QSharedMemory probe(key);
            if (probe.attach(QSharedMemory::ReadWrite))
                probe.detach();
        }
        auto memory = std::make_unique<QSharedMemory>(key);
        m_key = key;
        if (memory->create(SegmentSize, QSharedMemory::ReadWrite)) {
            m_memory = std::move(memory);
            return true;
        }
        if (memory->error() != QSharedMemory::AlreadyExists)
            return false;
        if (segmentOwner(key) != Owner::SomeoneElse)
            return false; // our live instance holds it
        // Another user created it in the meantime: try the next key.
    }
    m_key.clear();
    return false;
}

bool SingleInstanceGuard::sendRestoreRequest()
{
    if (m_key.isEmpty())
        return false;
    QSharedMemory memory(m_key);
    if (!memory.attach(QSharedMemory::ReadWrite))
        return false;
    bool written = false;
    if (memory.lock()) {
        std::memcpy(memory.data(), RestoreRequest, sizeof RestoreRequest);
        memory.unlock();
        written = true;
    }
    memory.detach();
    return written;
}

void SingleInstanceGuard::pollRestoreRequest(const QString &base,
                                             const std::function<void()> &onRestore)
{
    const QString key = heldKey(base);
    if (key.isEmpty())
        return;
    QSharedMemory memory(key);
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
