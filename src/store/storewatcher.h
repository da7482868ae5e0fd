#pragma once

#include "store/macrostore.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

// Tells when the store's file changed on disk, whoever changed it: written in place, or replaced
// by a rename as sync tools and our own saves do (the folder is watched for that, since a watch
// on the file itself ends with the file it was set on). A slow poll of the file's stamp covers
// file systems that report nothing (network shares).
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

Q_SIGNALS:
    // The file is not as it was when last reported (or when watch() began).
    void changed();
    // Something else in the store's folder came or went (a conflict copy, say).
    void folderChanged();

private:
    void noticed(bool inFolder);

    const MacroStore &m_store;
    QString m_file;
    QFileSystemWatcher m_watcher;
    QTimer m_settle; // a burst of notices (temporary files, rename) makes one check
    QTimer m_poll;
    MacroStore::Stamp m_seen;
    bool m_folderNoticed = false;
};
