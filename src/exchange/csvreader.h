#pragma once

#include "csvtable.h"

#include <limits>
#include <QCoreApplication>
#include <QList>
#include <QString>

class ImportBatch;
class ImportProgress;

// Tables of notes as CSV (RFC 4180: quoted fields may hold separators, line breaks and doubled
// quotes), UTF-8 with or without a byte order mark, separated by commas or semicolons. Which
// column holds the name, the text, the master macro, the hot key ("Ctrl+Alt+A") and the
// abbreviation is read from a header row or guessed (CsvLayout); the batch keeps the table, so
// that the notes can be made anew under another layout. A note without a name is named after
// its abbreviation. Texts are taken as written, placeholders included.
class CsvReader final
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    using Row = CsvTable::Row;

    static void read(const QString &path, ImportBatch &batch);
    // Makes the notes of the batch's table anew, as its layout says; none without a text column.
    static void convert(ImportBatch &batch);

    // The rows of `text`; false, with the message and the line, where it breaks the format, where
    // it holds more than `maxRows` rows (a few bytes each make millions, which cost far more
    // memory than the bytes) or where `progress` was cancelled.
    static bool parse(const QString &text, QList<Row> *rows, QString *error, int *line,
                      ImportProgress *progress = nullptr,
                      qsizetype maxRows = std::numeric_limits<qsizetype>::max());

private:
    static QChar separator(const QString &text);
};
