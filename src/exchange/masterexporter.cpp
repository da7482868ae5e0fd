#include "masterexporter.h"

#include "exchange/legacyini.h"
#include "store/macrostore.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSettings>

namespace {

// A name next to the target that no settings object of this process has used: the settings
// layer keeps what it could not write in memory under the file's name, so a name must never
// come back.
QString freshSiblingName(const QString &target)
{
    static int counter = 0;
    QString name;
    do {
        name = target +
               QStringLiteral(".kq-%1-%2").arg(QCoreApplication::applicationPid()).arg(++counter);
    } while (QFileInfo::exists(name) || QFileInfo(name).isSymLink());
    return name;
}

// Puts `bytes` in the target's place in one step: a reader sees the old file or the new one, a
// failed write leaves the old one, and a replaced file keeps the mode its owner gave it.
bool replaceWith(const QString &target, const QByteArray &bytes)
{
    QSaveFile file(target);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

MasterMacroExporter::MasterMacroExporter(const MacroStore &store) : m_store(store) {}

bool MasterMacroExporter::write(const QString &path, const QList<Master> &chosen) const
{
    const QFileInfo info(path);
    // Putting an export in the place of the store's own file would replace the user's macros
    // with a selection of them.
    const QString storeFile = QFileInfo(m_store.fileName()).canonicalFilePath();
    if (!storeFile.isEmpty() && info.canonicalFilePath() == storeFile)
        return false;
    if (info.exists() && (!info.isFile() || !info.isWritable()))
        return false; // a folder, or a file made read-only
    // A link is followed: the file it points to is replaced, not the link.
    const QString target = info.exists() ? info.canonicalFilePath() : info.absoluteFilePath();
    // The settings layer writes the entries to a file of their own, so that nothing unwritten
    // stays in its memory under the target's name for the next reader of it.
    const QString temporary = freshSiblingName(target);
    bool written = false;
    {
        QSettings file(temporary, QSettings::IniFormat);
        writeEntries(file, chosen);
        // Left to itself the settings layer writes when the object goes away, and the outcome
        // goes with it.
        file.sync();
        written = file.status() == QSettings::NoError;
    }
    QByteArray bytes;
    // With nothing chosen the settings layer makes no file: the target is then emptied.
    if (written && QFileInfo::exists(temporary)) {
        QFile file(temporary);
        written = file.open(QIODevice::ReadOnly);
        bytes = LegacyIni::escapeValues(file.readAll()); // readable by older readers too
    }
    QFile::remove(temporary);
    return written && replaceWith(target, bytes);
}

void MasterMacroExporter::writeEntries(QSettings &file, const QList<Master> &chosen) const
{
    for (const Master &master : chosen) {
        QHash<QString, MacroStore::Note> stored;
        const QList<MacroStore::Note> notes = m_store.notes(master.name);
        for (const MacroStore::Note &note : notes)
            stored.insert(note.name, note);
        file.beginGroup(master.name);
        file.beginGroup(MacroStore::MacrosGroup);
        for (const Note &note : master.notes) {
            // A note listed but gone from the store meanwhile: code 0 and an empty text.
            const MacroStore::Note values = stored.value(note.name);
            file.beginGroup(note.name);
            file.setValue(MacroStore::ShortcutKey, values.code);
            if (note.withText)
                file.setValue(MacroStore::TextKey, values.text);
            if (!values.abbreviation.isEmpty())
                file.setValue(MacroStore::AbbreviationKey, values.abbreviation);
            file.endGroup();
        }
        file.endGroup();
        file.endGroup();
    }
}
