// The guard on System V IPC. Its keys come from a key file in a folder only this user can enter,
// and every object found on a key is checked for its owner: another user can neither find our
// keys nor make us take, write or wait on an object of theirs.
#include "guardsegment.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int KeyCount = 8; // a key another user holds moves us to the next
constexpr time_t SettleSeconds = 5;

union SemaphoreArgument {
    int val;
    struct semid_ds *buf;
};

QString tr(const char *text)
{
    return QCoreApplication::translate("SingleInstanceGuard", text);
}

bool isPrivateFolder(const QByteArray &path)
{
    struct stat info;
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// $XDG_RUNTIME_DIR is the user's alone; without it, a folder of ours made 0700 in the temporary
// folder, or in the user's cache folder when someone else has taken that name.
QString keyFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return QFile::decodeName(runtime);
    const QString uid = QString::number(::geteuid());
    const QStringList candidates = {
        QDir::tempPath() + QStringLiteral("/keyquill-") + uid,
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
            QStringLiteral("/keyquill-guard-") + uid};
    for (const QString &folder : candidates) {
        const QByteArray path = QFile::encodeName(folder);
        if (::mkdir(path.constData(), 0700) != 0 && errno == ENOENT) {
            QDir().mkpath(QFileInfo(folder).path());
            ::mkdir(path.constData(), 0700);
        }
        if (isPrivateFolder(path))
            return folder;
    }
    return {};
}

struct KernelObject
{
    enum Owner { Nobody, Us, SomeoneElse } owner = Nobody;
    int id = -1;
    struct shmid_ds status = {};
};

bool isOurs(const struct ipc_perm &perm)
{
    return perm.uid == ::geteuid() && perm.cuid == ::geteuid();
}

KernelObject findSegment(key_t key)
{
    KernelObject found;
    found.id = ::shmget(key, 0, 0);
    if (found.id == -1) {
        found.owner = errno == ENOENT ? KernelObject::Nobody : KernelObject::SomeoneElse;
        return found;
    }
    const bool readable = ::shmctl(found.id, IPC_STAT, &found.status) == 0;
    found.owner =
        readable && isOurs(found.status.shm_perm) ? KernelObject::Us : KernelObject::SomeoneElse;
    return found;
}

KernelObject findSemaphore(key_t key)
{
    KernelObject found;
    found.id = ::semget(key, 1, 0);
    if (found.id == -1) {
        found.owner = errno == ENOENT ? KernelObject::Nobody : KernelObject::SomeoneElse;
        return found;
    }
    struct semid_ds status = {};
    SemaphoreArgument argument;
    argument.buf = &status;
    const bool readable = ::semctl(found.id, 0, IPC_STAT, argument) == 0;
    found.owner =
        readable && isOurs(status.sem_perm) ? KernelObject::Us : KernelObject::SomeoneElse;
    return found;
}

// A segment of ours that no process holds and whose maker is gone (or had ample time to
// attach) was left by an instance that died.
bool isLeftover(const struct shmid_ds &status)
{
    if (status.shm_nattch > 0)
        return false;
    const bool makerGone = ::kill(status.shm_cpid, 0) == -1 && errno == ESRCH;
    return makerGone || std::time(nullptr) - status.shm_ctime > SettleSeconds;
}

void removeOurs(key_t key)
{
    const KernelObject segment = findSegment(key);
    if (segment.owner == KernelObject::Us)
        ::shmctl(segment.id, IPC_RMID, nullptr);
    const KernelObject semaphore = findSemaphore(key);
    if (semaphore.owner == KernelObject::Us)
        ::semctl(semaphore.id, 0, IPC_RMID);
}

} // namespace

struct GuardSegment::Private
{
    QString base;
    QString problem;
    int segment = -1;
    int semaphore = -1;
    char *data = nullptr;
    bool created = false;

    GuardSegment::Found attachLive(key_t key, const struct shmid_ds &status);
    GuardSegment::Found create(key_t key);
    GuardSegment::Found fail(const QString &why)
    {
        problem = why;
        return GuardSegment::Found::Failed;
    }
};

GuardSegment::GuardSegment(const QString &base) : d(std::make_unique<Private>())
{
    d->base = base;
}

GuardSegment::~GuardSegment()
{
    if (d->data)
        ::shmdt(d->data);
    if (d->created) {
        ::shmctl(d->segment, IPC_RMID, nullptr);
        ::semctl(d->semaphore, 0, IPC_RMID);
    }
}

QList<int> GuardSegment::systemKeys(const QString &base)
{
    const QString folder = keyFolder();
    if (folder.isEmpty())
        return {};
    const QByteArray file =
        QFile::encodeName(folder + QLatin1Char('/') + base + QStringLiteral(".guard"));
    const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd == -1)
        return {};
    ::close(fd);
    QList<int> keys;
    for (int i = 0; i < KeyCount; ++i) {
        const key_t key = ::ftok(file.constData(), 'k' + i);
        if (key != -1)
            keys.append(key);
    }
    return keys;
}

bool GuardSegment::isHeld(const QString &base)
{
    const QList<int> keys = systemKeys(base);
    return std::any_of(keys.cbegin(), keys.cend(), [](int key) {
        const KernelObject segment = findSegment(key);
        return segment.owner == KernelObject::Us && !isLeftover(segment.status);
    });
}

GuardSegment::Found GuardSegment::open()
{
    const QList<int> keys = systemKeys(d->base);
    if (keys.isEmpty())
        return d->fail(tr("No private folder for the key file of the guard \"%1\" could be made "
                          "(%2).")
                           .arg(d->base, QString::fromLocal8Bit(std::strerror(errno))));
    // Our live instance may sit on any key (the ones before it were taken when it started).
    for (const int key : keys) {
        const KernelObject segment = findSegment(key);
        if (segment.owner != KernelObject::Us)
            continue;
        if (isLeftover(segment.status))
            removeOurs(key);
        else
            return d->attachLive(key, segment.status);
    }
    for (const int key : keys) {
        const Found result = d->create(key);
        if (result != Found::Failed || !d->problem.isEmpty())
            return result;
    }
    return d->fail(
        tr("Other users hold all %1 keys of the guard \"%2\".").arg(KeyCount).arg(d->base));
}

// Creates segment and lock on key; Failed with no problem means "try the next key".
GuardSegment::Found GuardSegment::Private::create(key_t key)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        segment = ::shmget(key, Size, IPC_CREAT | IPC_EXCL | 0600);
        if (segment == -1) {
            if (errno != EEXIST)
                return fail(tr("The guard's shared memory cannot be created: %1.")
                                .arg(QString::fromLocal8Bit(std::strerror(errno))));
            const KernelObject found = findSegment(key);
            if (found.owner == KernelObject::SomeoneElse)
                return GuardSegment::Found::Failed;
            if (found.owner == KernelObject::Us && !isLeftover(found.status))
                return attachLive(key, found.status); // an instance started at the same time
            removeOurs(key);
            continue;
        }
        semaphore = ::semget(key, 1, IPC_CREAT | IPC_EXCL | 0600);
        if (semaphore == -1) {
            const int why = errno;
            ::shmctl(segment, IPC_RMID, nullptr);
            if (why != EEXIST)
                return fail(tr("The guard's lock cannot be created: %1.")
                                .arg(QString::fromLocal8Bit(std::strerror(why))));
            if (findSemaphore(key).owner != KernelObject::Us)
                return GuardSegment::Found::Failed; // another user's lock on this key
            removeOurs(key);                        // a lock left by an instance that died
            continue;
        }
        SemaphoreArgument one;
        one.val = 1;
        void *address = ::shmat(segment, nullptr, 0);
        if (address == reinterpret_cast<void *>(-1) || ::semctl(semaphore, 0, SETVAL, one) != 0) {
            const int why = errno;
            if (address != reinterpret_cast<void *>(-1))
                ::shmdt(address);
            ::shmctl(segment, IPC_RMID, nullptr);
            ::semctl(semaphore, 0, IPC_RMID);
            return fail(tr("The guard's shared memory cannot be attached: %1.")
                            .arg(QString::fromLocal8Bit(std::strerror(why))));
        }
        data = static_cast<char *>(address);
        created = true;
        return GuardSegment::Found::Created;
    }
    return GuardSegment::Found::Failed;
}

GuardSegment::Found GuardSegment::Private::attachLive(key_t key, const struct shmid_ds &status)
{
    // Never write into a segment that is not the guard's shape, even one of our own user.
    if (status.shm_segsz != static_cast<size_t>(Size))
        return fail(tr("The guard \"%1\" found a shared segment of %2 bytes instead of %3; "
                       "it was left alone.")
                        .arg(base)
                        .arg(status.shm_segsz)
                        .arg(Size));
    if ((status.shm_perm.mode & 0600) != 0600)
        return fail(tr("The guard \"%1\" found a shared segment it may not write (mode %2); "
                       "it was left alone.")
                        .arg(base, QString::number(status.shm_perm.mode & 0777, 8)));
    const KernelObject lock = findSemaphore(key);
    void *address = ::shmat(::shmget(key, 0, 0), nullptr, 0);
    if (lock.owner != KernelObject::Us || address == reinterpret_cast<void *>(-1))
        return fail(tr("The guard \"%1\" found a running instance but cannot reach it.").arg(base));
    semaphore = lock.id;
    data = static_cast<char *>(address);
    return GuardSegment::Found::Live;
}

QString GuardSegment::problem() const
{
    return d->problem;
}

char *GuardSegment::data() const
{
    return d->data;
}

bool GuardSegment::lock(int waitMs)
{
    if (d->semaphore == -1)
        return false;
    struct sembuf take = {0, -1, SEM_UNDO | IPC_NOWAIT};
    for (int waited = 0;; waited += 10) {
        if (::semop(d->semaphore, &take, 1) == 0)
            return true;
        if (errno != EAGAIN && errno != EINTR)
            return false;
        if (waited >= waitMs)
            return false;
        ::usleep(10000);
    }
}

void GuardSegment::unlock()
{
    struct sembuf give = {0, 1, SEM_UNDO};
    ::semop(d->semaphore, &give, 1);
}
