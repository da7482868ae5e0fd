#pragma once

#include "store/macrostore.h"

#include <memory>
#include <QList>
#include <QPair>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

class QLockFile;
class StoreMirror;

// One change of the macro store that either reaches the disk or is taken back.
//
// The settings layer keeps unwritten changes in a cache shared by every QSettings object of the
// process, so a change the disk refused would still be read back (and silently written by a later
// object). And on a nearly full disk Qt 6.4 renames a short, even empty, file over the store and
// reports success (QSaveFile ignores the failure of its final flush). So commit() writes at once,
// checks that the written file holds every key of the store, puts the previous file back when it
// does not, and on any failure restores the touched groups as they were before the change.
//
// A store in a folder the user chose is changed in its mirror (StoreMirror), on top of a whole
// read of the file, and goes back by a rename while the file is still the one that was read;
// when another program changed it meanwhile, the touched groups are applied again to what it
// wrote. No whole read within a few seconds: the change is refused.
class StoreWrite final
{
public:
    // groups: the paths below the store root ("MasterMacros/M", ...) that the change touches.
    // mirror: the store in a chosen folder; none for the native settings file.
    explicit StoreWrite(const QStringList &groups, StoreMirror *mirror = nullptr);
    ~StoreWrite();
    StoreWrite(const StoreWrite &) = delete;
    StoreWrite &operator=(const StoreWrite &) = delete;

    QSettings &settings() { return *m_settings; }

    // Adds a group path to the change once it is known (as for an import, whose names are
    // chosen as it goes). Call it at the store root, before writing to the group.
    void addGroup(const QString &group);

    // Copies every key below the group path `from` to the group path `to`, values keeping their
    // type (an integer code stays an integer, the empty string of a new note stays a string).
    void copyGroup(const QString &from, const QString &to);

    // True when the change is on disk. Otherwise the store reads as before the change.
    bool commit();
    // Why the change was refused, in words for the user that follow "cannot be written: " ("" when
    // it was not, or no reason is known).
    QString why() const { return m_why; }

    // The file the store lives in, for messages.
    QString fileName() const { return m_fileName; }

    static QString groupPath(const QString &master);
    static QString groupPath(const QString &master, const QString &note);

    // Run once at start, before anything is written: a write that outgrows a file-size limit
    // then fails instead of ending the process, what saves of processes that died left beside
    // the store is removed, and a store that does not read as it is written is copied aside once,
    // as <store>.damaged-<date>. While that copy cannot be made, every change is refused (and the
    // copy tried again). `store` stays with the caller, who keeps Qt's parse of the file alive
    // for the window. Where the bytes alone told the master macros, `listed` (if given) gets
    // them. Returns what the user must be told, "" for nothing.
    static QString prepareAtStart(QSettings &store, MacroStore::MasterList *listed = nullptr);
    // What keeps the native settings file from being read at all (a pipe or a device behind a
    // link the user made, a file past the cap), before the settings layer reads it without end;
    // "" when it can be read.
    static QString unusableNativeStore();
    // Removes what saves of processes that died left beside the store's `file`.
    static void removeLeftovers(const QString &file);

private:
    enum class Outcome { Written, Refused, Damaged };

    void takeSnapshot(const QString &group);
    void restoreSnapshot();
    bool fileHoldsStore(const QString &file);
    QList<QPair<QString, QVariant>> touched();
    void apply(const QList<QPair<QString, QVariant>> &values);
    bool lockMirroredStore();
    bool commitToMirror();
    bool refuseInMirror(const QString &why);

    // Platform side (storewrite_posix.cpp, storewrite_other.cpp).
    Outcome writeAndCheck();
    static bool lockCanBeHad(const QString &file);
    static QString refusedStorePath();
    static void prepareProcess(const QString &storeFile);
    // The file a link the user made points to ("" for the native store where there is none).
    static QString writtenFile(const QString &file);
    // Why the system refused to write `file`, as far as can be told afterwards (a full disk, a
    // folder or file not writable).
    static QString writeRefusal(const QString &file);
    bool refuse(const QString &why);

    StoreMirror *m_mirror = nullptr;
    std::unique_ptr<QLockFile> m_lock; // of a chosen folder's store, held for the whole change
    std::unique_ptr<QSettings> m_settings;
    QString m_fileName;
    bool m_chosenFolder = false; // the store is in a folder the user chose, not the native one
    bool m_refused = false;      // the store's lock could not be had: nothing may reach the store
    quint64 m_generation = 0;    // of the mirror's content the change was made on
    QStringList m_groups;
    QString m_why;                              // of a refusal
    QList<QPair<QString, QVariant>> m_snapshot; // full key paths and values before the change
};
