#pragma once

#include "store/storewatcher.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

class Dialogs;
class LiveMaster;
class MacroStore;
class MacroTreeItems;
class NoteEditor;
class QProgressDialog;
class QTreeWidget;
class QWidget;

// The store in a folder the user chose, kept by a sync tool: takes a folder on (adding this
// computer's master macros to what is there, or using that as it is), and while one is chosen
// makes the tree, the live hot keys and the editor follow every change of the file on disk,
// whoever made it, and offers to bring in the conflict copies a sync tool leaves beside it (one
// at a time from the event loop, so that many of them never freeze the window). What reading the
// file found (damage copied aside, a file refused) is told as it is found. The native store is
// written by this program alone, so nothing else is followed there.
class StoreFollower final : public QObject
{
    Q_OBJECT

public:
    StoreFollower(QWidget *window, QTreeWidget *tree, MacroTreeItems &items, MacroStore &store,
                  LiveMaster &live, NoteEditor &editor, Dialogs &dialogs);

    // Keeps the master macros in `folder` from now on ("" for this computer's settings file).
    // False when the user cancelled or the change could not be made; nothing moved then.
    bool moveTo(const QString &folder);
    // Shows the store as it is on disk now.
    void follow();
    // Puts the conflict copies beside the store not put to the user yet to them.
    void offerConflictCopies();

Q_SIGNALS:
    // The tree and the live hot keys show the store as it is now.
    void followed();

private:
    QString askNewName(const QString &title, const QString &candidate) const;
    void warn(const QString &text) const;
    void tellNews();
    void bringInNext();
    void broughtIn();

    QWidget *m_window;
    QTreeWidget *m_tree;
    MacroTreeItems &m_items;
    MacroStore &m_store;
    LiveMaster &m_live;
    NoteEditor &m_editor;
    Dialogs &m_dialogs;
    StoreWatcher m_watcher;
    QTimer m_later;           // a follow put off while a dialog is open
    QSet<QString> m_offered;  // conflict copies the user was asked about
    QStringList m_asked;      // those of the question that is open
    QStringList m_toBringIn;  // those the user asked for, not brought in yet
    QStringList m_keptCopies; // brought in, but kept: not all of them could be read
    QPointer<QProgressDialog> m_progress;
    bool m_asking = false; // from the question until the last copy is in
};
