#include "masterimporter.h"

#include "store/macrostore.h"
#include "store/storewrite.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <utility>

namespace {

// The store's file is UTF-8, which cannot hold half of a surrogate pair (a "\xd800" escape in a
// file yields one): written, it would read back as something else and the import would fail as
// if the disk had refused it. Such a text comes in with U+FFFD in place of the half.
QString withoutLoneSurrogates(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (text.at(i).isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace

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
    m_addedMasters.clear();
    if (!isReadableFile(path))
        return Outcome::Unreadable;
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return Outcome::Unreadable;

    // The whole import is one change of the store: if the disk refuses it, none of it stays
    // behind in the store or the tree.
    StoreWrite write({});
    QSettings &store = write.settings();
    Outcome outcome = Outcome::Finished;
    const QStringList masters = file.childGroups();
    for (const QString &master : masters) {
        // A name holding a group separator cannot be one group of the store, and a master
        // macro without a note would be a tree item the store does not hold: skip both.
        if (!MacroStore::isStorableName(master))
            continue;
        file.beginGroup(master);
        file.beginGroup(MacroStore::MacrosGroup);
        const QStringList notes = importableNotes(file);
        QString name = master;
        if (!notes.isEmpty() && !chooseName(&name)) {
            file.endGroup();
            file.endGroup();
            outcome = Outcome::Stopped;
            break;
        }
        if (!notes.isEmpty()) {
            const QString group = StoreWrite::groupPath(name);
            write.addGroup(group);
            QTreeWidgetItem *masterItem = m_tree.addMaster(name);
            m_addedMasters.append(masterItem);
            store.beginGroup(group);
            store.beginGroup(MacroStore::MacrosGroup);
            importNotes(file, store, notes, masterItem);
            store.endGroup();
            store.endGroup();
        }
        file.endGroup();
        file.endGroup();
    }
    if (!m_addedMasters.isEmpty() && !write.commit()) {
        m_storeFileName = write.fileName();
        return Outcome::NotSaved;
    }
    return outcome;
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
        store.setValue(MacroStore::TextKey, withoutLoneSurrogates(MacroStore::readText(file)));
        store.endGroup();
        file.endGroup();
    }
}
