#pragma once

#include <functional>
#include <QCoreApplication>

class CheckTreeWidget;
class Dialogs;
class MacroStore;
class MacroTreeItems;
class NoteEditor;
class QTreeWidgetItem;
class QWidget;
struct UnsavedEdit;

// A note's edit that is not saved when the program ends: "&Quit" asks whether to save or drop
// it; an end from outside (a log-out) asks nothing and keeps it for the next start, which offers
// it back (UnsavedEdit).
class EditRecovery final
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    EditRecovery(NoteEditor &editor, CheckTreeWidget *tree, MacroTreeItems &items,
                 MacroStore &store, Dialogs &dialogs);

    // Before "&Quit": true when nothing is pending any more (saved or dropped), false when the
    // user stays.
    bool settle(QWidget *window);
    // Keeps a pending edit for the next start. Call once the event loop is over.
    void keep();
    // What an earlier end kept, offered through `show` (which shows a box when the user comes
    // to the window); nothing when nothing was kept.
    void offerKept(const std::function<void(std::function<void()>)> &show);

private:
    void offer(const UnsavedEdit &edit);
    void warn(const QString &text);

    NoteEditor &m_editor;
    CheckTreeWidget *m_tree;
    MacroTreeItems &m_items;
    MacroStore &m_store;
    Dialogs &m_dialogs;
};
