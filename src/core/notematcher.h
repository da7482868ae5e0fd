#pragma once

#include "core/storednote.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

// Finds notes by a few typed words: every word must appear in the note's name, its master macro's
// name or its text, letter case and accents ignored. Best matches come first (a word in the name
// before one in the master macro's name before one in the text, at the start of a word before
// inside one), then the notes used most recently, then those of the live master macro, then store
// order. Everything is folded once,
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
    // The notes of `masters`, in that order; the lists are shared, not copied.
    explicit NoteMatcher(QList<StoredMaster> masters);
    // The same from single notes (those of one master macro together).
    explicit NoteMatcher(const QList<Entry> &entries);

    // Most recently used first, as `key()` names them; the rest follow in store order.
    void setRecent(const QStringList &keys);
    // Among notes equally found and not recent, those of `master` (the live one) come first.
    void setLiveMaster(const QString &master);

    // The entries `query` finds, best first; all of them, most recently used first, for a query
    // of no words.
    QList<int> match(const QString &query) const;
    // The same among `candidates` alone: what a query finds, a longer one typed on from it can
    // only find less of.
    QList<int> match(const QString &query, const QList<int> &candidates) const;

    Entry entry(int index) const;
    int size() const { return int(m_folded.size()); }

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
    // A folded field: where it lies in one of the two pools. Folded text that is all ASCII (most
    // of it) is kept a byte a character; everything lies in two blocks rather than three strings
    // a note, which at 100,000 notes is the difference between some 30 MiB and some 8.
    struct Span
    {
        quint32 at = 0;
        quint32 size : 31;
        quint32 wide : 1; // in m_wide, not m_narrow
    };
    struct Folded
    {
        Span note;
        Span text;
        int master = 0; // into m_groups
    };
    // A query word folded, and as bytes when it is all ASCII (empty otherwise).
    struct Word
    {
        QString folded;
        QByteArray narrow;
    };

    Span keep(const QString &folded);
    bool occurs(Span span, const Word &word, bool *atWordStart) const;
    int score(const QList<Word> &words, const Folded &folded) const;

    const StoredNote &stored(int index) const;

    QList<StoredMaster> m_groups;
    std::vector<int> m_first;    // per group: the index of its first note
    QList<Folded> m_folded;      // per note, shared by copies of the matcher
    std::vector<Span> m_masters; // per group: its name folded (shared by groups of one name)
    QByteArray m_narrow;
    QString m_wide;
    QList<int> m_recency;     // per note: its place among the recent ones, or a large number
    std::vector<char> m_live; // per group: of the live master macro
};
