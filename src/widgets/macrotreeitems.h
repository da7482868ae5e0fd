#pragma once

#include <memory>
#include <QIcon>
#include <QString>

class CheckTreeWidget;
class MacroStore;
class PendingRows;
class QTreeWidgetItem;

// The rows of the main window's macro tree: master macros at the top level with the in-use
// check box, their notes below with the hot key's text.
class MacroTreeItems final
{
public:
    explicit MacroTreeItems(CheckTreeWidget *tree);
    ~MacroTreeItems();

    // Every master macro and note of the store, expanded, columns fitted; the rows of notes
    // past the first screenful are made while the program is idle (PendingRows). `store` must
    // outlive this.
    void load(const MacroStore &store);
    // Makes the rows of `master`, or of every master macro, that load() has not made yet: to be
    // called before anything walks or adds to them.
    void fill(QTreeWidgetItem *master);
    void fillAll();
    QTreeWidgetItem *addMaster(const QString &name);
    void addNote(QTreeWidgetItem *master, const QString &name, int code);
    // Shows a new code in a note's row.
    static void setNoteCode(QTreeWidgetItem *note, int code);

    // The rows as every tree of master macros shows them (name, tool tip, icon); a master's row
    // joins no tree yet, a note's joins its master's.
    QTreeWidgetItem *newMasterItem(const QString &name) const;
    QTreeWidgetItem *newNoteItem(QTreeWidgetItem *master, const QString &name,
                                 const QString &shortcutText = QString()) const;

    // The text a note's row shows for its hot-key code ("" for 0).
    static QString codeText(int code);

    const QIcon &masterIcon() const { return m_masterIcon; }
    const QIcon &noteIcon() const { return m_noteIcon; }

private:
    CheckTreeWidget *m_tree;
    std::unique_ptr<PendingRows> m_pending;
    QIcon m_masterIcon;
    QIcon m_noteIcon;
};
