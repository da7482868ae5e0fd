#pragma once

#include <QList>
#include <QString>

// A note and a master macro as the store holds them: what the store reads and everything that
// shows, searches or delivers notes shares.
struct StoredNote
{
    QString name;
    int code = 0;
    QString text;
    QString abbreviation; // "" for none
};

struct StoredMaster
{
    QString name;
    QList<StoredNote> notes;
};
