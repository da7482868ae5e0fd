#pragma once

#include "importsummary.h"
#include "store/macrostore.h"
#include "yamltree.h"

#include <memory>
#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

class ImportProgress;
struct CsvTable;

// Gathers what a reader of another program's file finds into master macros the store can take:
// names the settings layer would split get look-alike characters, an empty note name comes
// from the text, a name taken in its master macro gets " (2)", " (3)", ..., and a hot key
// another note of the master macro holds already is dropped. Counts all of it for the summary.
class ImportBatch final
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // What one import reads at most: whatever a file holds, its reading ends soon and takes
    // memory in proportion to what the caps allow.
    struct Limits
    {
        qint64 fileBytes = 16 << 20; // every file read, together
        qsizetype rows = 250000;     // of a table (a CSV file), the header too
        YamlTree::Limits yaml;
    };

    void setLimits(const Limits &limits) { m_limits = limits; }
    const Limits &limits() const { return m_limits; }
    // Told how far reading has come; its Cancel ends the reading as a failure.
    void setProgress(ImportProgress *progress) { m_progress = progress; }
    ImportProgress *progress() const { return m_progress; }
    bool cancelled() const;
    // Items to convert after parsing, and how many are done; false once cancelled.
    void converting(qsizetype items);
    bool advance(qsizetype done);

    // The master macro of that name, made on first use; its index.
    int master(const QString &name);
    // Adds a note; its index in `master`. `abbreviation`: the trigger, abbreviation or keyword
    // the other program fires it by; the note keeps it unless it cannot be typed in one go or
    // another note of the master macro has it already (both said).
    int addNote(int master, const QString &name, int code, const QString &text,
                const QString &abbreviation = QString());
    QString noteName(int master, int note) const;
    // For texts that name other notes, which can be written only once every note has its name.
    void setText(int master, int note, const QString &text);

    // A table whose layout the user may still change, kept until the import is answered.
    void setTable(std::shared_ptr<CsvTable> table) { m_table = std::move(table); }
    CsvTable *table() const { return m_table.get(); }
    // Forgets the notes and counts made so far, for them to be made anew.
    void clearNotes();

    void skip(const QString &reason);
    void keptAsWritten(const QString &what);
    void fail(const QString &message, int line);
    bool failed() const { return m_summary.failed(); }

    // The code of Ctrl, Alt and Shift (any letter case, in angle brackets or not) with one key
    // the note editor offers (F1-F12, 0-9, A-Z); 0, counted as dropped, for any other
    // combination. An empty key is no hot key.
    int offeredCode(const QStringList &modifiers, const QString &key);

    // Master macros without notes are left out: the store would not keep them.
    QList<MacroStore::Master> masters() const;
    // The abbreviation each note of masters() had in the file, kept or not, in the same order;
    // "" where there was none.
    QList<QStringList> abbreviations() const;
    ImportSummary summary() const;

    static QString storableName(QString name);

    // The file's bytes, or a failure said; false then. With `notRegular`, a file that is not a
    // regular one (a pipe, a device, a socket) is only told there, not failed.
    bool readFile(const QString &path, QByteArray *bytes, bool *notRegular = nullptr);
    // UTF-8 (a byte order mark dropped), or a failure at the line of the first bad byte.
    bool decodeUtf8(const QByteArray &bytes, QString *text);
    // The same check without the text.
    bool checkUtf8(const QByteArray &bytes);
    // A YAML document, or a failure at its line (broken, or past the limits).
    bool loadYaml(const QByteArray &bytes, YamlTree *tree);
    // The line (from 1) that the byte at `offset` is on.
    static int lineAt(const QByteArray &bytes, qsizetype offset);

private:
    struct Building
    {
        MacroStore::Master master;
        QStringList abbreviations; // of master.notes
        QSet<QString> names;
        // The number the next " (n)" of a name tries, so that many notes of one name are
        // numbered without trying every number before.
        QHash<QString, int> nextNumber;
        QSet<int> codes;
        QSet<QString> abbreviationsTaken; // letter case counts, as when typed
    };
    void failUtf8(const QByteArray &bytes);

    QList<Building> m_masters;
    QHash<QString, int> m_index;
    ImportSummary m_summary;
    Limits m_limits;
    ImportProgress *m_progress = nullptr;
    qint64 m_bytesRead = 0;
    std::shared_ptr<CsvTable> m_table;
};
