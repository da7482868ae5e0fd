#pragma once

#include <QList>
#include <QString>

class MacroStore;
class QSettings;

// Writes chosen master macros of the store to a master macro file, with or without each note's
// text. The values are read from the store when the file is written.
class MasterMacroExporter final
{
public:
    struct Note
    {
        QString name;
        bool withText = true;
    };
    struct Master
    {
        QString name;
        QList<Note> notes; // a master macro without notes writes nothing
    };

    explicit MasterMacroExporter(const MacroStore &store);

    // Replaces the file at `path` with the chosen master macros, in the given order. False when
    // it could not be written, or `path` is the store's own file; the file is then untouched.
    bool write(const QString &path, const QList<Master> &chosen) const;

private:
    void writeEntries(QSettings &file, const QList<Master> &chosen) const;

    const MacroStore &m_store;
};
