#pragma once

#include <QCoreApplication>
#include <QString>

class ImportBatch;

// Match files of espanso (YAML): the `matches:` of one file become one master macro named after
// the file, each match a note named after its (first) trigger, which it keeps as its
// abbreviation. Date, clipboard and echo variables become placeholders or text, the text fields
// of a form inputs; matches that need a program run, a form with choices, an image or a regular
// expression have no equivalent here and are left out, counted.
class EspansoReader final
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    static void read(const QString &path, ImportBatch &batch);
};
