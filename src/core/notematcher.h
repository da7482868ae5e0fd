#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// Finds notes by a few typed words: every word must appear in the note's name, its master macro's
// name or its text, letter case and accents ignored. Best matches come first (a word in the name
// before one in the master macro's name before one in the text, at the start of a word before
// inside one), then the notes used most recently, then store order. Everything is folded once,
// when the notes are handed in, so that each keystroke only searches.
class NoteMatcher final
{
public:
    struct Entry
    {
        QString master;
        QString note;
        QString text;
        int code = 0;
    };

    // What a word scores where it is found; the lowest counts.
    enum Tier { NameStart, NameInside, MasterStart, MasterInside, TextStart, TextInside, Missing };

    NoteMatcher() = default;
    explicit NoteMatcher(QList<Entry> entries);

    // Most recently used first, as `key()` names them; the rest follow in store order.
    void setRecent(const QStringList &keys);

    // The entries `query` finds, best first; all of them, most recently used first, for a query
    // of no words.
    QList<int> match(const QString &query) const;
    // The same among `candidates` alone: what a query finds, a longer one typed on from it can
    // only find less of.
    QList<int> match(const QString &query, const QList<int> &candidates) const;

    const Entry &entry(int index) const { return m_entries.at(index); }
    int size() const { return int(m_entries.size()); }

    // How a note is named in the list of recent ones.
    static QString key(const QString &master, const QString &note);
    // Case folded, accents dropped: "Élan" and "elan" fold alike.
    static QString fold(const QString &text);
    // The folded words of a query.
    static QStringList words(const QString &query);
    // True when `word` (folded) occurs in `folded`; `atWordStart` tells whether one of its
    // occurrences begins a word.
    static bool occurs(const QString &folded, const QString &word, bool *atWordStart);

private:
    struct Folded
    {
        QString note;
        QString master;
        QString text;
    };

    int score(const QStringList &words, const Folded &folded) const;

    QList<Entry> m_entries;
    QList<Folded> m_folded;
    QList<int> m_recency; // per entry: its place among the recent ones, or a large number
};
