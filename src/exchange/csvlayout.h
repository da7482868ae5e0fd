#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Which column of a CSV table holds what. Taken from the first row where it names the columns in
// words Keyquill knows (its own, and those other snippet programs export), else guessed from the
// cells: the longest cells with spaces, line breaks or addresses are the texts, cells like
// "Ctrl+Alt+A" hot keys, a column repeating a few values the master macros, short cells without
// spaces the abbreviations, and the remaining short phrases the names. The user sees the guess,
// and can change it, before anything is written.
struct CsvLayout
{
    enum class Role { None, Name, Text, Master, HotKey, Abbreviation };
    // Columns past these are never offered: no table of notes has that many.
    static constexpr int MaxColumns = 20;
    // Rows looked at for a guess.
    static constexpr int SampleRows = 200;

    QList<Role> roles;   // by column
    bool header = false; // the first row names the columns rather than holding a note
    bool named = false;  // the header names the texts and another column: nothing was guessed

    // The layout of a table whose first rows are `rows`.
    static CsvLayout of(const QList<QStringList> &rows);

    int column(Role role) const;
    // Gives `role` to `column`; a column that held it before holds nothing then.
    void setRole(int column, Role role);
};
