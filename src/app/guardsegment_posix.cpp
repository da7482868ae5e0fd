// The guard on System V IPC. Which start is the first is decided by a lock file in a folder only
// this user can enter; the first instance makes its segment on a random key and names the key in
// a file beside the lock. Another user can neither guess the key nor take the lock, and every
// object found on a key is checked for its owner, so they cannot make us take, write or wait on
// an object of theirs.
#include "guardsegment.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// shmat() says it failed with (void *) -1.
bool isAttached(const void *address)
{
    return address && reinterpret_cast<std::intptr_t>(address) != -1;
}

constexpr int KeyAttempts = 16; // a key already in use moves us to another random one
constexpr int PublishWaitMs = 500;

union SemaphoreArgument {
    int val;
    struct semid_ds *buf;
};

QString tr(const char *text)
{
    return QCoreApplication::translate("SingleInstanceGuard", text);
}

QString systemError(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
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

QByteArray filePath(const QString &folder, const QString &base, const char *suffix)
{
    return QFile::encodeName(folder + QLatin1Char('/') + base + QLatin1String(suffix));
}

// The key the first instance named, or 0 when there is none.
key_t readKey(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd == -1)
        return 0;
    char text[16] = {};
    const ssize_t length = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    bool valid = false;
    const int key = QByteArray(text, qMax<ssize_t>(length, 0)).trimmed().toInt(&valid);
    return valid && key > 0 ? key : 0;
}

// Written aside and renamed, so that a second start reads either the old key or the new one.
bool writeKey(const QByteArray &path, key_t key)
{
    const QByteArray aside = path + '.' + QByteArray::number(::getpid());
    const int fd =
        ::open(aside.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd == -1)
        return false;
    const QByteArray text = QByteArray::number(key) + '\n';
    const bool written = ::write(fd, text.constData(), size_t(text.size())) == text.size();
    if (::close(fd) == 0 && written && ::rename(aside.constData(), path.constData()) == 0)
        return true;
    ::unlink(aside.constData());
    return false;
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
    found.id = key == 0 ? -1 : ::shmget(key, 0, 0);
    if (found.id == -1) {
        found.owner =
            key == 0 || errno == ENOENT ? KernelObject::Nobody : KernelObject::SomeoneElse;
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

// The live instance stays attached to its segment for its whole life; one that died is not.
KernelObject findLiveSegment(key_t key)
{
    const KernelObject segment = findSegment(key);
    return segment.owner == KernelObject::Us && segment.status.shm_nattch > 0 ? segment
                                                                              : KernelObject();
}

void removeOurs(key_t key)
{
    if (key == 0)
        return;
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
    QByteArray keyFile;
    int lockFile = -1; // held locked by the first instance for its whole life
    int segment = -1;
    int semaphore = -1;
    char *data = nullptr;
    bool created = false;

    GuardSegment::Found claimFirst();
    GuardSegment::Found create(key_t key);
    GuardSegment::Found attachLive(key_t key, const KernelObject &live);
    GuardSegment::Found fail(const QString &why)
    {
        problem = why;
        if (lockFile != -1)
            ::close(lockFile); // unguarded: the next start may try again
        lockFile = -1;
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
        ::unlink(d->keyFile.constData());
    }
    if (d->lockFile != -1)
        ::close(d->lockFile);
}

int GuardSegment::publishedKey(const QString &base)
{
    const QString folder = keyFolder();
    const key_t key = folder.isEmpty() ? 0 : readKey(filePath(folder, base, ".key"));
    return key == 0 ? -1 : key;
}

bool GuardSegment::isHeld(const QString &base)
{
    const QString folder = keyFolder();
    return !folder.isEmpty() &&
           findLiveSegment(readKey(filePath(folder, base, ".key"))).owner == KernelObject::Us;
}

GuardSegment::Found GuardSegment::open()
{
    const QString folder = keyFolder();
    if (!folder.isEmpty())
        d->lockFile = ::open(filePath(folder, d->base, ".lock").constData(),
                             O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (d->lockFile == -1)
        return d->fail(tr("No private folder for the key file of the guard \"%1\" could be made "
                          "(%2).")
                           .arg(d->base, systemError()));
    d->keyFile = filePath(folder, d->base, ".key");
    // A second start at the same moment as the first may find the lock taken before the key is
    // named; the first may also leave while we look, handing the lock to us.
    for (int waited = 0;; waited += 10) {
        if (::flock(d->lockFile, LOCK_EX | LOCK_NB) == 0)
            return d->claimFirst();
        if (errno != EWOULDBLOCK && errno != EINTR)
            return d->fail(tr("The guard's lock cannot be created: %1.").arg(systemError()));
        const key_t key = readKey(d->keyFile);
        const KernelObject live = findLiveSegment(key);
        if (live.owner == KernelObject::Us) {
            ::close(d->lockFile);
            d->lockFile = -1;
            return d->attachLive(key, live);
        }
        if (waited >= PublishWaitMs)
            return d->fail(
                tr("The guard \"%1\" found a running instance but cannot reach it.").arg(d->base));
        ::usleep(10000);
    }
}

GuardSegment::Found GuardSegment::Private::claimFirst()
{
    // The lock proves that the instance which named the old key is gone.
    removeOurs(readKey(keyFile));
    for (int attempt = 0; attempt < KeyAttempts; ++attempt) {
        const key_t key = key_t(QRandomGenerator::system()->bounded(1u, 0x7fffffffu));
        // Named before it is made, so that a crash in between leaves nothing unnamed behind.
        if (!writeKey(keyFile, key))
            return fail(tr("The guard's key file cannot be written: %1.").arg(systemError()));
        const GuardSegment::Found result = create(key);
        if (result != GuardSegment::Found::Failed || !problem.isEmpty())
            return result;
    }
    return fail(tr("The guard's shared memory cannot be created: %1.").arg(systemError(EEXIST)));
}

// Creates segment and lock on key; Failed with no problem means "try another key".
GuardSegment::Found GuardSegment::Private::create(key_t key)
{
    segment = ::shmget(key, Size, IPC_CREAT | IPC_EXCL | 0600);
    if (segment == -1)
        return errno == EEXIST
                   ? GuardSegment::Found::Failed
                   : fail(
                         tr("The guard's shared memory cannot be created: %1.").arg(systemError()));
    semaphore = ::semget(key, 1, IPC_CREAT | IPC_EXCL | 0600);
    if (semaphore == -1) {
        const int why = errno;
        ::shmctl(segment, IPC_RMID, nullptr);
        return why == EEXIST
                   ? GuardSegment::Found::Failed
                   : fail(tr("The guard's lock cannot be created: %1.").arg(systemError(why)));
    }
    // The lock is free before the segment is attached: an attached segment is what tells a
    // second start that the instance is ready.
    SemaphoreArgument one;
    one.val = 1;
    void *address =
        ::semctl(semaphore, 0, SETVAL, one) == 0 ? ::shmat(segment, nullptr, 0) : nullptr;
    if (!isAttached(address)) {
        const int why = errno;
        ::shmctl(segment, IPC_RMID, nullptr);
        ::semctl(semaphore, 0, IPC_RMID);
        return fail(tr("The guard's shared memory cannot be attached: %1.").arg(systemError(why)));
    }
    data = static_cast<char *>(address);
    created = true;
    return GuardSegment::Found::Created;
}

GuardSegment::Found GuardSegment::Private::attachLive(key_t key, const KernelObject &live)
{
    const struct shmid_ds &status = live.status;
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
    void *address = ::shmat(live.id, nullptr, 0);
    if (lock.owner != KernelObject::Us || !isAttached(address))
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
