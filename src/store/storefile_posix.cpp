// StoreFile on POSIX systems: open(2) without blocking and without following a link where told,
// fstat(2) before and after the read, and a rename(2) for the write.
#include "storefile.h"

#include "store/filedescriptor.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <utility>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("StoreFile", text);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

qint64 nanoseconds(const timespec &time)
{
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

StoreFile::Facts factsOf(const struct stat &info)
{
    return {qint64(info.st_size), nanoseconds(info.st_mtim), nanoseconds(info.st_ctim),
            quint64(info.st_ino), quint64(info.st_dev)};
}

QString kindProblem(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISLNK(mode))
        return tr("it is a symbolic link, and links are not followed there");
    if (S_ISDIR(mode))
        return tr("it is a folder");
    if (S_ISFIFO(mode))
        return tr("it is a named pipe (FIFO), not a file");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return tr("it is a device, not a file");
    if (S_ISSOCK(mode))
        return tr("it is a socket, not a file");
    return tr("it is not a regular file");
}

// Why a regular file's `info` rules it out; "" when it may be read.
QString fileProblem(const struct stat &info)
{
    const QString kind = kindProblem(info.st_mode);
    if (!kind.isEmpty())
        return kind;
    if (info.st_uid != ::geteuid())
        return tr("it belongs to another user");
    if (info.st_size > StoreFile::sizeCap())
        return tr("it is larger than %1, the most Keyquill reads of one file")
            .arg(StoreFile::capText());
    return {};
}

// Reads up to bytes->size() bytes; the number read, or -1.
qint64 readUpTo(int fd, QByteArray *bytes)
{
    qint64 done = 0;
    while (done < bytes->size()) {
        const ssize_t got = ::read(fd, bytes->data() + done, size_t(bytes->size() - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += put;
    }
    return true;
}

} // namespace

StoreFile::Read StoreFile::read(const QString &path, Links links, bool tighten)
{
    Read result;
    const QByteArray name = QFile::encodeName(path);
    // Without O_NONBLOCK a named pipe holds open() until someone writes to it.
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == Links::Refuse ? O_NOFOLLOW : 0);
    FileDescriptor fd(::open(name.constData(), flags));
    if (fd.get() < 0) {
        const int error = errno;
        result.facts = facts(path, links);
        if (error == ENOENT && result.facts.size < 0)
            return result;
        const QString odd = error == ELOOP ? oddity(path) : QString();
        result.outcome = odd.isEmpty() ? Outcome::Failed : Outcome::Refused;
        result.problem = odd.isEmpty() ? systemError(error) : odd;
        return result;
    }
    struct stat before = {};
    if (::fstat(fd.get(), &before) != 0) {
        result.outcome = Outcome::Failed;
        result.problem = systemError(errno);
        return result;
    }
    result.problem = fileProblem(before);
    if (!result.problem.isEmpty()) {
        result.outcome = Outcome::Refused;
        result.facts = factsOf(before);
        return result;
    }
    if (tighten && (before.st_mode & 077) && ::fchmod(fd.get(), before.st_mode & 07700) == 0)
        ::fstat(fd.get(), &before);
    result.facts = factsOf(before);

    // One byte more than the file holds shows a file that grows while it is read.
    result.bytes.resize(qsizetype(before.st_size) + 1);
    const qint64 got = readUpTo(fd.get(), &result.bytes);
    if (got < 0) {
        result.outcome = Outcome::Failed;
        result.problem = systemError(errno);
        result.bytes.clear();
        return result;
    }
    result.bytes.truncate(qsizetype(got));
    struct stat after = {};
    const bool same = ::fstat(fd.get(), &after) == 0 && factsOf(after) == result.facts &&
                      got == qint64(before.st_size);
    result.outcome = same ? Outcome::Read : Outcome::Changing;
    timespec now = {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    // A writer in place sets the modification time as it writes; a sync tool that gives a whole
    // file the time it had on the other machine renames it into place at once.
    result.ageMs = (nanoseconds(now) - result.facts.modifiedNs) / 1000000;
    return result;
}

StoreFile::Facts StoreFile::facts(const QString &path, Links links)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    const int status =
        links == Links::Refuse ? ::lstat(name.constData(), &info) : ::stat(name.constData(), &info);
    return status == 0 ? factsOf(info) : Facts();
}

QString StoreFile::refusal(const QString &path, Links links)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info = {};
    const int status =
        links == Links::Refuse ? ::lstat(name.constData(), &info) : ::stat(name.constData(), &info);
    return status == 0 ? fileProblem(info) : QString();
}

QString StoreFile::oddity(const QString &path)
{
    struct stat info = {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return kindProblem(info.st_mode);
}

StoreFile::Replaced StoreFile::replace(const QString &path, const QByteArray &bytes,
                                       const Facts &expected, Facts *facts)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray pending = QFile::encodeName(pendingName(path, ::getpid()));
    ::unlink(pending.constData());
    FileDescriptor fd(
        ::open(pending.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    const auto fail = [&] {
        ::unlink(pending.constData());
        return Replaced::Failed;
    };
    if (fd.get() < 0)
        return fail();
    // A full disk or a file-size limit shows here, before anything of the old file is touched.
    if (!writeAll(fd.get(), bytes) || ::fsync(fd.get()) != 0)
        return fail();
    struct stat written = {};
    ::fstat(fd.get(), &written);
    if (::close(fd.release()) != 0)
        return fail();
    if (StoreFile::facts(path, Links::Refuse) != expected) {
        ::unlink(pending.constData());
        return Replaced::Raced;
    }
    if (::rename(pending.constData(), target.constData()) != 0)
        return fail();
    *facts = StoreFile::facts(path, Links::Refuse);
    if (facts->inode != quint64(written.st_ino))
        return Replaced::Raced; // another writer came in between; ours is underneath
    return Replaced::Done;
}
