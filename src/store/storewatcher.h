#pragma once

#include "store/macrostore.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

// Tells when the store's file changed on disk, whoever changed it: written in place, or replaced
// by a rename as sync tools and our own saves do (the folder is watched for that, since a watch
// on the file itself ends with the file it was set on). A slow poll of the file's stamp covers
// what the system's notices cannot: a file system that reports nothing of other machines'
// changes (network shares, user-space file systems), a folder that cannot be watched or is gone.
class StoreWatcher final : public QObject
{
    Q_OBJECT

public:
    explicit StoreWatcher(const MacroStore &store, QObject *parent = nullptr);

    // Follows the store's file from now on ("" stops); the present state counts as seen.
    void watch(const QString &file);
    QString file() const { return m_file; }
    // Looks now rather than at the next notice or poll.
    void check();
    // Whether the file's stamp is looked at every second, beside the notices.
    bool polls() const { return m_poll.isActive(); }

    // Whether the system's notices tell every change of a file in `folder`, whoever made it
    // (per platform: storewatcher_linux.cpp, storewatcher_other.cpp).
    static bool noticesEveryChange(const QString &folder);

Q_SIGNALS:
    // The file is not as it was when last reported (or when watch() began).
    void changed();
    // Something else in the store's folder came or went (a conflict copy, say).
    void folderChanged();

private:
    // What a watch is on: the file or folder that had the path when it was set.
    struct Watched
    {
        quint64 inode = 0;
        quint64 device = 0;
    };

    void noticed(bool inFolder);
    // Sets the watches anew where the path holds another file or folder than the one watched (a
    // file replaced, a folder gone and back), and polls while they cannot see every change.
    void arm();
    // False when `path` is not there or cannot be watched.
    bool keepWatching(const QString &path, Watched *watched);

    const MacroStore &m_store;
    QString m_file;
    QString m_folder;
    QFileSystemWatcher m_watcher;
    QTimer m_settle; // a burst of notices (temporary files, rename) makes one check
    QTimer m_poll;
    MacroStore::Stamp m_seen;
    Watched m_watchedFolder;
    Watched m_watchedFile;
    bool m_folderNoticed = false;
    bool m_noticesEveryChange = false; // of the folder's file system
};
