#pragma once

#include "importbatch.h"

#include <QCoreApplication>
#include <QString>

// The files of other snippet programs the import reads, told apart by their names.
class SnippetFiles final
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // The import's file dialog filter: master macro files first, as they always were.
    static QString filter();
    // True for a file of another program; anything else is read as a master macro file.
    static bool isSnippetFile(const QString &path);
    static ImportBatch read(const QString &path);
    // Into a batch given its limits and progress beforehand.
    static void read(const QString &path, ImportBatch &batch);
};
