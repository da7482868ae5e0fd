#pragma once

#include <functional>
#include <QList>
#include <QString>

class QSettings;
class QTreeWidgetItem;

// Copies the master macros of a master macro file into the macro store. The tree side (clash
// test, the new-name prompt, the item builders) belongs to the main window and comes in as
// callbacks, so that this class touches only the file and the store.
class MasterMacroImporter final
{
public:
    enum class Outcome {
        Finished,   // every importable master macro of the file was handled
        Stopped,    // the user cancelled the new-name prompt or gave an empty name
        Unreadable, // the file could not be read as a settings file; nothing was imported
        NotSaved    // the store refused the import; it was taken back from the store
    };

    struct TreeSide
    {
        // True when a master macro of that name is in the tree (letter case ignored).
        std::function<bool(const QString &name)> masterExists;
        // Asks for another name for a clashing candidate; "" ends the import.
        std::function<QString(const QString &candidate)> askNewName;
        std::function<QTreeWidgetItem *(const QString &name)> addMaster;
        std::function<void(QTreeWidgetItem *master, const QString &name,
                           const QString &shortcutText)>
            addNote;
    };

    explicit MasterMacroImporter(TreeSide treeSide);

    Outcome run(const QString &path);

    // The master macro items this run added to the tree; after NotSaved the caller removes
    // them, so that the tree shows what the store holds.
    QList<QTreeWidgetItem *> addedMasters() const { return m_addedMasters; }
    // The store's file, for the message after NotSaved.
    QString storeFileName() const { return m_storeFileName; }

private:
    static bool isReadableFile(const QString &path);
    static QStringList importableNotes(QSettings &file);
    bool chooseName(QString *candidate) const;
    void importNotes(QSettings &file, QSettings &store, const QStringList &notes,
                     QTreeWidgetItem *masterItem) const;

    TreeSide m_tree;
    QList<QTreeWidgetItem *> m_addedMasters;
    QString m_storeFileName;
};
