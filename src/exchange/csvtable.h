#pragma once

#include "csvlayout.h"

#include <QList>
#include <QString>
#include <QStringList>

// A CSV file as read, kept with its layout until the import is answered, so that the notes can
// be made anew when the user says which column holds what.
struct CsvTable
{
    struct Row
    {
        int line = 0; // where the row starts, from 1
        QStringList fields;
    };

    QList<Row> rows;    // the first one too, header or not
    QString fileMaster; // for rows that name no master macro
    CsvLayout layout;

    QList<QStringList> firstRows(qsizetype count) const
    {
        QList<QStringList> first;
        for (qsizetype i = 0; i < rows.size() && i < count; ++i)
            first.append(rows.at(i).fields);
        return first;
    }
};
