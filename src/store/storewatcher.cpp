#include "storewatcher.h"

#include <QFileInfo>

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
    m_watcher.addPath(QFileInfo(file).path());
    if (QFileInfo::exists(file))
        m_watcher.addPath(file);
    m_seen = m_store.stamp();
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
    // A file replaced by a rename is a new file: the watch on the old one is gone.
    if (!m_watcher.files().contains(m_file) && QFileInfo::exists(m_file))
        m_watcher.addPath(m_file);
    if (std::exchange(m_folderNoticed, false))
        Q_EMIT folderChanged();
    const MacroStore::Stamp now = m_store.stamp();
    if (now == m_seen)
        return;
    m_seen = now;
    Q_EMIT changed();
}
