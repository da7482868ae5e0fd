#pragma once

#include "store/macrostore.h"

#include <functional>
#include <QList>
#include <QSet>
#include <QString>

class QSettings;

// Copies the master macros of a master macro file into the macro store, as one change. A name
// that clashes with a master macro of the store (letter case ignored) or of the file before it
// is put to the user through `askNewName`.
class MasterMacroImporter final
{
public:
    enum class Outcome {
        Finished,   // every importable master macro of the file was handled
        Stopped,    // the user cancelled the new-name prompt or gave an empty name
        Unreadable, // the file could not be read as a settings file; nothing was imported
        TooLarge,   // the file is larger than an import reads; nothing was imported
        NotSaved    // the store refused the import; none of it was kept
    };

    // Asks for another name for a clashing candidate; "" ends the import.
    using AskNewName = std::function<QString(const QString &candidate)>;

    MasterMacroImporter(MacroStore &store, AskNewName askNewName);

    Outcome run(const QString &path);
    // The reading half of run(), which needs no store (and can run in a worker thread):
    // Finished, Unreadable or TooLarge.
    static Outcome read(const QString &path, QList<MacroStore::Master> *masters);
    // The same for master macros read from another program's file.
    Outcome save(const QList<MacroStore::Master> &masters);

    // What the run saved, in file order (nothing after Unreadable or NotSaved).
    QList<MacroStore::Master> imported() const { return m_imported; }

private:
    static QList<MacroStore::Note> importableNotes(QSettings &file);
    bool chooseName(QString *candidate) const;

    MacroStore &m_store;
    AskNewName m_askNewName;
    QList<MacroStore::Master> m_imported;
    QSet<QString> m_taken; // case-folded names of the store's and the file's master macros so far
};
