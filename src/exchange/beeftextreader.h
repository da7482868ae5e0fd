#pragma once

#include <QCoreApplication>
#include <QString>

class ImportBatch;

// Beeftext's combo files and exports (JSON): one master macro per group, the combos without a
// group in one named after the file; a note per combo, named after the combo or its keyword,
// which it keeps as its abbreviation.
// Its variables become placeholders; a combo using one without an equivalent (a program run,
// keys pressed, a case change) is left out, counted.
class BeeftextReader final
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    static void read(const QString &path, ImportBatch &batch);
};
