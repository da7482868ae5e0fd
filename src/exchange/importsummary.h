#pragma once

#include <QCoreApplication>
#include <QMap>
#include <QString>
#include <QStringList>

// What an import from another program's file would bring in, shown before anything is written.
struct ImportSummary
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    int masters = 0;
    int notes = 0;
    int hotKeysKept = 0;
    int renamedNotes = 0; // names the store cannot hold, or taken in their master macro
    // Triggers, abbreviations and keywords the notes keep as their abbreviations.
    int abbreviations = 0;
    // Why items were left out (a hot key dropped, a snippet skipped), with how many each.
    QMap<QString, int> skipped;
    // What came in as written although it meant something else there (a key to press), by
    // what it is, with how many.
    QMap<QString, int> asWritten;

    // Where reading stopped; an empty message means the file was read to its end.
    QString error;
    int errorLine = 0;

    bool failed() const { return !error.isEmpty(); }
    // The summary as lines for the user.
    QStringList lines() const;
};
