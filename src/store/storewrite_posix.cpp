// StoreWrite where the native store is an INI file written by Qt's QSaveFile (Linux and other
// Unix systems but macOS): the file is kept under a second name while Qt writes, what Qt wrote
// must hold the whole store before it counts, and the store is for its owner's eyes only.
#include "storewrite.h"

#include "storecheck.h"
#include "storefile.h"

#include <csignal>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <cerrno>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("StoreWrite", text);
}

// The settings layer waits for the store's lock without end when it can never be had (a
// directory in its place); a few seconds, then the change is refused.
constexpr int LockWaitMs = 3000;

// Every note is in the store, so other users must not read it: group and other bits come off a
// file or folder that has them (QSaveFile gives the new file the old one's mode).
void keepPrivate(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::lstat(name.constData(), &info) == 0 && !S_ISLNK(info.st_mode) && (info.st_mode & 077))
        ::chmod(name.constData(), info.st_mode & 07700);
}

bool isRunning(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

} // namespace

// Qt writes through a symbolic link to the file it points to (QSaveFile follows the chain), so
// that file is the one to keep and to compare; the link itself stays a link.
QString StoreWrite::writtenFile(const QString &file)
{
    QFileInfo info(file);
    for (int depth = 0; depth < 128 && info.isSymLink(); ++depth)
        info.setFile(info.symLinkTarget());
    return info.filePath();
}

bool StoreWrite::lockCanBeHad(const QString &file)
{
    if (!QFileInfo::exists(QFileInfo(file).path()))
        return true; // the write fails at once on its own
    const QString name = writtenFile(file) + QStringLiteral(".lock");
    // Nothing in its place: the settings layer takes the lock at once, or waits for a writer
    // that took it meanwhile. Only what is there already may never let go.
    if (StoreFile::facts(name, StoreFile::Links::Refuse).size < 0)
        return true;
    QLockFile lock(name);
    return lock.tryLock(LockWaitMs);
}

QString StoreWrite::refusedStorePath()
{
    // Below a device file: no folder can be made there, so the settings layer fails at once.
    return QStringLiteral("/dev/null/refused.conf");
}

StoreWrite::Outcome StoreWrite::writeAndCheck()
{
    const QString file = writtenFile(m_fileName);
    const QByteArray fileBytes = QFile::encodeName(file);
    // A second name for the present file: it survives Qt's rename and can be put back at no cost
    // in disk space. The pid in its name lets a later start remove it if this process dies.
    const QByteArray keepBytes = QFile::encodeName(
        QStringLiteral("%1.keep-%2").arg(file).arg(QCoreApplication::applicationPid()));
    ::unlink(keepBytes.constData());
    const bool kept = ::link(fileBytes.constData(), keepBytes.constData()) == 0;
    const bool existed = kept || QFileInfo::exists(file);

    keepPrivate(file);
    // A folder the user chose is theirs (and their sync tool's) to set up.
    if (!m_chosenFolder)
        keepPrivate(QFileInfo(m_fileName).path());
    // The store is otherwise left to write itself when its objects go; syncing here is the only
    // way to learn whether the disk took the change while the user can still be told. What Qt
    // creates on the way (the file, missing folders) is made for the owner only from the start.
    const mode_t previousMask = ::umask(077);
    m_settings->sync();
    ::umask(previousMask);
    // Only an access error is about this write; a format error is left over from reading a
    // store with a slip in it, which Qt has just written out whole.
    if (m_settings->status() == QSettings::AccessError) {
        if (kept)
            ::unlink(keepBytes.constData());
        return Outcome::Refused;
    }

    const bool damaged = !fileHoldsStore(file);
    if (kept && damaged)
        ::rename(keepBytes.constData(), fileBytes.constData());
    else if (kept)
        ::unlink(keepBytes.constData());
    else if (damaged && !existed)
        ::unlink(fileBytes.constData());
    return damaged ? Outcome::Damaged : Outcome::Written;
}

QString StoreWrite::writeRefusal(const QString &file)
{
    const QString folder = QFileInfo(file).path();
    struct statvfs disk = {};
    if (::statvfs(QFile::encodeName(folder).constData(), &disk) == 0 && disk.f_bavail == 0)
        return tr("the disk is full");
    if (::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return tr("Keyquill may not write in the folder %1").arg(QDir::toNativeSeparators(folder));
    if (QFileInfo::exists(file) && ::access(QFile::encodeName(file).constData(), W_OK) != 0)
        return tr("Keyquill may not write the file");
    return tr("the system refused to write it; the disk may be full");
}

void StoreWrite::prepareProcess(const QString &storeFile)
{
    // Past a file-size limit the kernel ends the process with SIGXFSZ; ignored, the write fails
    // with EFBIG and the save is refused like any other.
    std::signal(SIGXFSZ, SIG_IGN);

    // Not only from the first change on: the file may have come in readable by others.
    const QFileInfo store(writtenFile(storeFile));
    if (store.exists()) {
        keepPrivate(store.filePath());
        keepPrivate(QFileInfo(storeFile).path());
    }

    removeLeftovers(store.filePath());
}

void StoreWrite::removeLeftovers(const QString &storeFile)
{
    // Second names left by saves of processes that were killed: whole old or new versions of the
    // store. Links of that name go too, and never what they point to.
    const QFileInfo store(storeFile);
    QDir dir = store.dir();
    const QString keepPrefix = store.fileName() + QStringLiteral(".keep-");
    const QStringList names =
        dir.entryList({keepPrefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System);
    // (A link to a file lists as a file; one to anything else as a system entry.)
    for (const QString &name : names) {
        bool isNumber = false;
        const qint64 pid = name.mid(keepPrefix.size()).toLongLong(&isNumber);
        if (isNumber && !isRunning(pid))
            dir.remove(name);
    }
}
