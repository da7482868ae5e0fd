#include "masterimporter.h"

#include "importbatch.h"

#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QStringList>
#include <utility>

MasterMacroImporter::MasterMacroImporter(MacroStore &store, AskNewName askNewName)
    : m_store(store), m_askNewName(std::move(askNewName))
{
}

MasterMacroImporter::Outcome MasterMacroImporter::run(const QString &path)
{
    m_imported.clear();
    QList<MacroStore::Master> masters;
    const Outcome outcome = read(path, &masters);
    return outcome == Outcome::Finished ? save(masters) : outcome;
}

MasterMacroImporter::Outcome MasterMacroImporter::read(const QString &path,
                                                       QList<MacroStore::Master> *masters)
{
    // The settings layer treats a path it cannot open (missing, below a regular file) as an
    // empty file, and only a directory as an access error; ask the file system first. Only a
    // regular file: the settings layer would wait for a FIFO's writer, or read a device forever.
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        return Outcome::Unreadable;
    if (info.size() > ImportBatch::Limits().fileBytes)
        return Outcome::TooLarge;
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError)
        return Outcome::Unreadable;

    const QStringList groups = file.childGroups();
    for (const QString &master : groups) {
        // A name holding a group separator cannot be one group of the store.
        if (!MacroStore::isStorableName(master))
            continue;
        file.beginGroup(master);
        file.beginGroup(MacroStore::MacrosGroup);
        masters->append({master, importableNotes(file)});
        file.endGroup();
        file.endGroup();
    }
    return Outcome::Finished;
}

MasterMacroImporter::Outcome MasterMacroImporter::save(const QList<MacroStore::Master> &masters)
{
    m_imported.clear();
    m_taken.clear();
    // The clash test ignores letter case; a set of the folded names keeps a file of many master
    // macros from a search of the store per name.
    const QStringList existing = m_store.masters();
    for (const QString &name : existing)
        m_taken.insert(name.toCaseFolded());

    Outcome outcome = Outcome::Finished;
    for (const MacroStore::Master &master : masters) {
        // A master macro without a note would be a tree item the store does not hold: skipped.
        if (master.notes.isEmpty())
            continue;
        MacroStore::Master imported = master;
        if (!chooseName(&imported.name)) {
            outcome = Outcome::Stopped;
            break;
        }
        m_taken.insert(imported.name.toCaseFolded());
        m_imported.append(imported);
    }
    // The whole import is one change of the store: if the disk refuses it, none of it stays.
    if (!m_imported.isEmpty() && !m_store.addMasters(m_imported)) {
        m_imported.clear();
        return Outcome::NotSaved;
    }
    return outcome;
}

QList<MacroStore::Note> MasterMacroImporter::importableNotes(QSettings &file)
{
    QList<MacroStore::Note> notes;
    QSet<QString> abbreviations;
    const QStringList names = file.childGroups();
    for (const QString &name : names) {
        // A note group without keys of its own only exists because a name held a "/" that the
        // settings layer split; like a name with a backslash, it cannot be one group of the
        // store.
        if (!MacroStore::isStorableName(name))
            continue;
        file.beginGroup(name);
        if (!file.childKeys().isEmpty()) {
            // A file edited by hand may give two notes one abbreviation: the first keeps it.
            QString abbreviation = MacroStore::readAbbreviation(file);
            if (abbreviations.contains(abbreviation))
                abbreviation.clear();
            else if (!abbreviation.isEmpty())
                abbreviations.insert(abbreviation);
            notes.append(
                {name, MacroStore::readCode(file), MacroStore::readText(file), abbreviation});
        }
        file.endGroup();
    }
    return notes;
}

bool MasterMacroImporter::chooseName(QString *candidate) const
{
    // A typed name with a group separator is refused like a clash: the prompt comes back.
    while (m_taken.contains(candidate->toCaseFolded()) || !MacroStore::isStorableName(*candidate)) {
        *candidate = m_askNewName(*candidate);
        if (candidate->isEmpty())
            return false;
    }
    return true;
}
