#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QSet>
#include <QString>

class ImportBatch;
class QDir;

// AutoKey's phrase folders: every phrase is <name>.txt beside a hidden .<name>.json that
// describes it. A folder, and each folder below it, becomes a master macro named after the
// folder's title; a phrase becomes a note named after its description, with its hot key where
// the note editor offers that combination, and its first abbreviation. The keys a phrase
// presses (<left>, <enter>, ...) become {{key:...}} placeholders where the fill-in has them.
// Scripts are left out, counted. Each real folder is read once, however many links lead to it.
class AutoKeyReader final
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // `path`: the folder, or any file in it (the import's file dialog picks a phrase's text).
    static void read(const QString &path, ImportBatch &batch);

private:
    static bool readFolder(const QDir &folder, ImportBatch &batch, int depth,
                           QSet<QByteArray> &seen);
};
