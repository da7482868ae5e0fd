#include "masterimporter.h"

#include "store/macrostore.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <utility>

MasterMacroImporter::MasterMacroImporter(TreeSide treeSide) : m_tree(std::move(treeSide)) {}

bool MasterMacroImporter::isReadableFile(const QString &path)
{
    // The settings layer treats a path it cannot open (missing, below a regular file) as an
    // empty file, and only a directory as an access error; ask the file system first.
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

MasterMacroImporter::Outcome MasterMacroImporter::run(const QString &path)
{
    if (!isReadableFile(path))
        return Outcome::Unreadable;
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return Outcome::Unreadable;

    QSettings store;
    store.beginGroup(MacroStore::MasterMacrosGroup);
    const QStringList masters = file.childGroups();
    for (const QString &master : masters) {
        // A name holding a group separator cannot be one group of the store, and a master
        // macro without a note would be a tree item the store does not hold: skip both.
        if (!MacroStore::isStorableName(master))
            continue;
        file.beginGroup(master);
        file.beginGroup(MacroStore::MacrosGroup);
        const QStringList notes = importableNotes(file);
        if (notes.isEmpty()) {
            file.endGroup();
            file.endGroup();
            continue;
        }

        QString name = master;
        if (!chooseName(&name)) {
            file.endGroup();
            file.endGroup();
            store.endGroup();
            return Outcome::Stopped;
        }
        QTreeWidgetItem *masterItem = m_tree.addMaster(name);
        store.beginGroup(name);
        store.beginGroup(MacroStore::MacrosGroup);
        importNotes(file, store, notes, masterItem);
        store.endGroup();
        store.endGroup();
        file.endGroup();
        file.endGroup();
    }
    store.endGroup();
    return Outcome::Finished;
}

QStringList MasterMacroImporter::importableNotes(QSettings &file)
{
    // A note group without keys of its own only exists because a name held a "/" that the
    // settings layer split; like a name with a backslash, it cannot be one group of the store.
    QStringList notes = file.childGroups();
    notes.removeIf([&file](const QString &note) {
        if (!MacroStore::isStorableName(note))
            return true;
        file.beginGroup(note);
        const bool hasKeys = !file.childKeys().isEmpty();
        file.endGroup();
        return !hasKeys;
    });
    return notes;
}

bool MasterMacroImporter::chooseName(QString *candidate) const
{
    // A typed name with a group separator is refused like a clash: the prompt comes back.
    while (m_tree.masterExists(*candidate) || !MacroStore::isStorableName(*candidate)) {
        *candidate = m_tree.askNewName(*candidate);
        if (candidate->isEmpty())
            return false;
    }
    return true;
}

void MasterMacroImporter::importNotes(QSettings &file, QSettings &store, const QStringList &notes,
                                      QTreeWidgetItem *masterItem) const
{
    for (const QString &note : notes) {
        file.beginGroup(note);
        store.beginGroup(note);
        const int code = MacroStore::readCode(file);
        m_tree.addNote(masterItem, note, MacroStore::codeText(code));
        store.setValue(MacroStore::ShortcutKey, code);
        store.setValue(MacroStore::TextKey, MacroStore::readText(file));
        store.endGroup();
        file.endGroup();
    }
}
