// The guard on a lock file and a FIFO in a folder only this user can enter. The lock decides
// which start is the first: the first instance holds it for its whole life, and the kernel lets
// go of it however the process ends. The FIFO beside it carries messages to the first instance.
// Nothing here is shared with other users: no key to guess, no system-wide table to fill.
#include "guardchannel.h"

#include <cerrno>
#include <cstring>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long a second start looks for the channel of a first that is still making it.
constexpr int ChannelWaitMs = 500;
// Read per tick at most; a pipe holds less, so a flood is emptied in one.
constexpr int ReadCap = 128 * 1024;

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
QString privateFolder()
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

bool isOurFifo(int fd)
{
    struct stat info;
    return ::fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode) && info.st_uid == ::geteuid();
}

// The writing end of a FIFO that a live reader holds open, or -1. Opening never blocks: without
// a reader it fails at once.
int openWriting(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd != -1 && !isOurFifo(fd)) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

} // namespace

struct GuardChannel::Private
{
    QString base;
    QString problem;
    QByteArray fifoPath;
    int lockFile = -1; // held locked by the first instance for its whole life
    int fifo = -1;     // the first instance's reading end, held open for writing too

    void makeFifo();
};

GuardChannel::GuardChannel(const QString &base) : d(std::make_unique<Private>())
{
    d->base = base;
}

GuardChannel::~GuardChannel()
{
    if (d->fifo != -1) {
        // Gone before the lock is let go of, so that the next first makes its own.
        ::unlink(d->fifoPath.constData());
        ::close(d->fifo);
    }
    if (d->lockFile != -1)
        ::close(d->lockFile);
}

bool GuardChannel::isHeld(const QString &base)
{
    const QString folder = privateFolder();
    const int fd = folder.isEmpty() ? -1 : openWriting(filePath(folder, base, ".fifo"));
    if (fd != -1)
        ::close(fd);
    return fd != -1;
}

GuardChannel::Found GuardChannel::open()
{
    const QString folder = privateFolder();
    if (!folder.isEmpty())
        d->lockFile = ::open(filePath(folder, d->base, ".lock").constData(),
                             O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (d->lockFile == -1) {
        d->problem = tr("No private folder for the lock file of the guard \"%1\" could be made "
                        "(%2).")
                         .arg(d->base, systemError());
        return Found::Failed;
    }
    d->fifoPath = filePath(folder, d->base, ".fifo");
    int locked = -1;
    while ((locked = ::flock(d->lockFile, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked == 0) {
        d->makeFifo();
        return Found::Created;
    }
    const int why = errno;
    ::close(d->lockFile);
    d->lockFile = -1;
    // Taken is taken: whatever else fails, the instance that holds it is the one that runs.
    if (why == EWOULDBLOCK)
        return Found::Live;
    d->problem = tr("The guard's lock cannot be taken: %1.").arg(systemError(why));
    return Found::Failed;
}

// A channel left by a killed instance may hold requests meant for it: the lock proves it gone,
// so its FIFO is replaced by a new one. Without a channel the instance still runs as the first;
// later starts then leave without being able to call it forward.
void GuardChannel::Private::makeFifo()
{
    if ((::unlink(fifoPath.constData()) == 0 || errno == ENOENT) &&
        ::mkfifo(fifoPath.constData(), 0600) == 0)
        fifo = ::open(fifoPath.constData(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fifo != -1 && isOurFifo(fifo))
        return;
    problem = tr("The guard \"%1\" cannot make its channel for restore requests: %2.")
                  .arg(base, systemError());
    if (fifo != -1)
        ::close(fifo);
    fifo = -1;
}

QString GuardChannel::problem() const
{
    return d->problem;
}

bool GuardChannel::send(const QByteArray &message)
{
    if (message.size() > MaxMessage || d->fifoPath.isEmpty() || d->lockFile != -1)
        return false;
    // A first that has just taken the lock may not have made its channel yet.
    int fd = -1;
    for (int waited = 0; (fd = openWriting(d->fifoPath)) == -1; waited += 10) {
        if ((errno != ENOENT && errno != ENXIO) || waited >= ChannelWaitMs)
            return false;
        ::usleep(10000);
    }
    // One write of less than a pipe's atomic size arrives whole or not at all; a full pipe (a
    // first that reads nothing) refuses it at once.
    const QByteArray framed = message + '\0';
    const bool sent = ::write(fd, framed.constData(), size_t(framed.size())) == framed.size();
    ::close(fd);
    return sent;
}

QList<QByteArray> GuardChannel::receive()
{
    if (d->fifo == -1)
        return {};
    QByteArray bytes;
    char chunk[4096];
    ssize_t length = 0;
    while (bytes.size() < ReadCap &&
           ((length = ::read(d->fifo, chunk, sizeof chunk)) > 0 || (length < 0 && errno == EINTR)))
        bytes.append(chunk, qMax<ssize_t>(length, 0));
    QList<QByteArray> messages = bytes.split('\0');
    messages.removeLast(); // what followed the last zero: nothing, as every message ends in one
    return messages;
}
