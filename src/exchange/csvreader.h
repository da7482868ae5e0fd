#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

class ImportBatch;
class ImportProgress;

// Tables of notes as CSV (RFC 4180: quoted fields may hold separators, line breaks and doubled
// quotes), UTF-8 with or without a byte order mark, separated by commas or semicolons. Columns:
// name, text, and optionally master macro and hot key ("Ctrl+Alt+A"), in that order, or in any
// order under a header row that names them. Texts are taken as written, placeholders included.
class CsvReader final
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    struct Row
    {
        int line = 0; // where the row starts, from 1
        QStringList fields;
    };

    static void read(const QString &path, ImportBatch &batch);

    // The rows of `text`; false, with the message and the line, where it breaks the format (or
    // where `progress` was cancelled).
    static bool parse(const QString &text, QList<Row> *rows, QString *error, int *line,
                      ImportProgress *progress = nullptr);

private:
    static QChar separator(const QString &text);
};
