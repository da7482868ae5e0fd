#include "storewatcher.h"

#include "store/storefile.h"

#include <QFileInfo>
#include <utility>

namespace {

// Long enough to gather a sync tool's temporary file and rename into one look; short enough
// that a change shows well within two seconds.
constexpr int SettleMs = 150;
constexpr int PollMs = 1000;

} // namespace

StoreWatcher::StoreWatcher(const MacroStore &store, QObject *parent)
    : QObject(parent), m_store(store)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    m_poll.setInterval(PollMs);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { noticed(false); });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { noticed(true); });
    connect(&m_settle, &QTimer::timeout, this, &StoreWatcher::check);
    // Not in the midst of a burst of notices: a file written in place may be half there.
    connect(&m_poll, &QTimer::timeout, this, [this] {
        if (!m_settle.isActive())
            check();
    });
}

void StoreWatcher::watch(const QString &file)
{
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
    m_file = file;
    m_settle.stop();
    m_poll.stop();
    if (file.isEmpty())
        return;
    m_folder = QFileInfo(file).path();
    m_watchedFolder = m_watchedFile = {};
    m_noticesEveryChange = false; // looked at once the folder is watched
    arm();
    m_seen = m_store.stamp();
}

bool StoreWatcher::keepWatching(const QString &path, Watched *watched)
{
    const StoreFile::Facts now = StoreFile::facts(path, StoreFile::Links::Follow);
    const bool listed = m_watcher.files().contains(path) || m_watcher.directories().contains(path);
    // A watch stays on what it was set on: a file replaced by a rename, even a folder made anew,
    // goes unseen while a process holds the old one open.
    if (listed && now.size >= 0 && now.inode == watched->inode && now.device == watched->device)
        return true;
    if (listed)
        m_watcher.removePath(path);
    if (now.size < 0 || !m_watcher.addPath(path))
        return false;
    *watched = {now.inode, now.device};
    return true;
}

void StoreWatcher::arm()
{
    const quint64 device = m_watchedFolder.device;
    const bool folderWatched = keepWatching(m_folder, &m_watchedFolder);
    // What is there may be another file system now (a share mounted since).
    if (folderWatched && m_watchedFolder.device != device)
        m_noticesEveryChange = noticesEveryChange(m_folder);
    // A file that is not there needs no watch of its own: the folder's tells when it comes.
    const bool fileWatched = keepWatching(m_file, &m_watchedFile) || !QFileInfo::exists(m_file);
    if (folderWatched && fileWatched && m_noticesEveryChange)
        m_poll.stop();
    else if (!m_poll.isActive())
        m_poll.start();
}

void StoreWatcher::noticed(bool inFolder)
{
    m_folderNoticed = m_folderNoticed || inFolder;
    m_settle.start();
}

void StoreWatcher::check()
{
    if (m_file.isEmpty())
        return;
    arm();
    if (std::exchange(m_folderNoticed, false))
        Q_EMIT folderChanged();
    const MacroStore::Stamp now = m_store.stamp();
    if (now == m_seen)
        return;
    m_seen = now;
    Q_EMIT changed();
}
