#include "notematcher.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <QRegularExpression>
#include <string_view>

namespace {

constexpr int NotRecent = std::numeric_limits<int>::max();

bool isAscii(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// Where `needle` occurs in `haystack` from `from` on, -1 for nowhere.
qsizetype findBytes(std::string_view haystack, qsizetype from, std::string_view needle)
{
    const size_t at = haystack.find(needle, size_t(from));
    return at == std::string_view::npos ? -1 : qsizetype(at);
}

// The same search for every kind of text: `find(from)` gives the next occurrence, `letter(at)`
// tells whether the character at `at` is a letter or digit.
template <typename Find, typename Letter> bool occursBy(Find find, Letter letter, bool *atWordStart)
{
    *atWordStart = false;
    bool found = false;
    for (qsizetype from = 0;;) {
        const qsizetype at = find(from);
        if (at < 0)
            return found;
        found = true;
        if (at == 0 || !letter(at - 1)) {
            *atWordStart = true;
            return true;
        }
        from = at + 1;
    }
}

bool occursIn(QStringView folded, QStringView word, bool *atWordStart)
{
    return occursBy([&](qsizetype from) { return folded.indexOf(word, from); },
                    [&](qsizetype at) { return folded.at(at).isLetterOrNumber(); }, atWordStart);
}

} // namespace

NoteMatcher::NoteMatcher(QList<StoredMaster> masters) : m_groups(std::move(masters))
{
    qsizetype notes = 0;
    for (const StoredMaster &master : std::as_const(m_groups))
        notes += master.notes.size();
    m_folded.reserve(notes);
    QHash<QString, Span> names; // groups of one name fold it once
    for (const StoredMaster &master : std::as_const(m_groups)) {
        auto name = names.find(master.name);
        if (name == names.end())
            name = names.insert(master.name, keep(fold(master.name)));
        const int group = int(m_masters.size());
        m_masters.push_back(*name);
        m_first.push_back(int(m_folded.size()));
        for (const StoredNote &note : master.notes)
            m_folded.append({keep(fold(note.name)), keep(fold(note.text)), group});
    }
    m_narrow.squeeze();
    m_wide.squeeze();
    m_live.assign(m_groups.size(), 0);
    m_recency.fill(NotRecent, size());
}

namespace {

QList<StoredMaster> grouped(const QList<NoteMatcher::Entry> &entries)
{
    QList<StoredMaster> masters;
    for (const NoteMatcher::Entry &entry : entries) {
        if (masters.isEmpty() || masters.constLast().name != entry.master)
            masters.append({entry.master, {}});
        masters.last().notes.append({entry.note, entry.code, entry.text, QString()});
    }
    return masters;
}

} // namespace

NoteMatcher::NoteMatcher(const QList<Entry> &entries) : NoteMatcher(grouped(entries)) {}

const StoredNote &NoteMatcher::stored(int index) const
{
    const int group = m_folded.at(index).master;
    return m_groups.at(group).notes.at(index - m_first[size_t(group)]);
}

NoteMatcher::Entry NoteMatcher::entry(int index) const
{
    const StoredNote &note = stored(index);
    return {m_groups.at(m_folded.at(index).master).name, note.name, note.text, note.code};
}

NoteMatcher::Span NoteMatcher::keep(const QString &folded)
{
    Span span;
    span.wide = !isAscii(folded);
    // Past 2 GiB of folded text a field is searched as empty rather than wrap.
    const qsizetype pool = span.wide ? m_wide.size() : m_narrow.size();
    if (pool + folded.size() > qsizetype(std::numeric_limits<qint32>::max())) {
        span.size = 0;
        return span;
    }
    span.at = quint32(pool);
    span.size = quint32(folded.size());
    if (span.wide)
        m_wide.append(folded);
    else
        m_narrow.append(folded.toLatin1());
    return span;
}

void NoteMatcher::setRecent(const QStringList &keys)
{
    m_recency.fill(NotRecent, size());
    // Per master macro, the places of its recent notes: only the notes of those master macros
    // are looked at, and no key is made for any note.
    QHash<QString, QHash<QString, int>> places;
    for (int i = int(keys.size()) - 1; i >= 0; --i) {
        const qsizetype slash = keys.at(i).indexOf(QLatin1Char('/'));
        if (slash >= 0)
            places[keys.at(i).left(slash)].insert(keys.at(i).mid(slash + 1), i);
    }
    for (size_t group = 0; group < m_masters.size(); ++group) {
        const auto here = places.constFind(m_groups.at(qsizetype(group)).name);
        if (here == places.constEnd())
            continue;
        const QList<StoredNote> &notes = m_groups.at(qsizetype(group)).notes;
        for (qsizetype note = 0; note < notes.size(); ++note)
            m_recency[m_first[group] + note] = here->value(notes.at(note).name, NotRecent);
    }
}

void NoteMatcher::setLiveMaster(const QString &master)
{
    for (size_t group = 0; group < m_live.size(); ++group)
        m_live[group] = m_groups.at(qsizetype(group)).name == master;
}

QString NoteMatcher::key(const QString &master, const QString &note)
{
    // Neither name may hold a slash (the settings layer would split it), so the pair is unique.
    return master + QLatin1Char('/') + note;
}

QString NoteMatcher::fold(const QString &text)
{
    if (isAscii(text))
        return text.toLower();
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            folded.append(c);
    }
    return folded.toCaseFolded();
}

QStringList NoteMatcher::words(const QString &query)
{
    return fold(query).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

bool NoteMatcher::occurs(const QString &folded, const QString &word, bool *atWordStart)
{
    return occursIn(folded, word, atWordStart);
}

bool NoteMatcher::occurs(Span span, const Word &word, bool *atWordStart) const
{
    if (span.wide)
        return occursIn(QStringView(m_wide).mid(span.at, span.size), word.folded, atWordStart);
    *atWordStart = false;
    if (word.narrow.isEmpty())
        return false; // a word with other letters than ASCII cannot be in ASCII text
    const std::string_view text(m_narrow.constData() + span.at, span.size);
    const std::string_view needle(word.narrow.constData(), size_t(word.narrow.size()));
    return occursBy(
        [&](qsizetype from) { return findBytes(text, from, needle); },
        [&](qsizetype at) { return QChar(QLatin1Char(text[size_t(at)])).isLetterOrNumber(); },
        atWordStart);
}

int NoteMatcher::score(const QList<Word> &words, const Folded &folded) const
{
    int total = 0;
    for (const Word &word : words) {
        int best = Missing;
        const Span fields[] = {folded.note, m_masters[size_t(folded.master)], folded.text};
        for (int field = 0; field < 3 && best > NameStart + 2 * field; ++field) {
            bool start = false;
            if (occurs(fields[field], word, &start))
                best = std::min(best, 2 * field + (start ? 0 : 1));
        }
        if (best == Missing)
            return -1;
        total += best;
    }
    return total;
}

QList<int> NoteMatcher::match(const QString &query) const
{
    QList<int> all(size());
    std::iota(all.begin(), all.end(), 0);
    return match(query, all);
}

QList<int> NoteMatcher::match(const QString &query, const QList<int> &candidates) const
{
    QList<Word> queryWords;
    for (const QString &word : words(query))
        queryWords.append({word, isAscii(word) ? word.toLatin1() : QByteArray()});

    // Candidates are visited in store order, so that a counting sort by score keeps that order
    // among equals: a keystroke then costs one pass, not a sort of every note found.
    std::vector<char> wanted(size_t(size()), 0);
    for (int i : candidates) {
        if (i >= 0 && i < size())
            wanted[size_t(i)] = 1;
    }
    struct Recent
    {
        int score;
        int recency;
        int index;
    };
    std::vector<Recent> recent; // few: sorted apart
    const int scores = int(Missing) * int(qMax<qsizetype>(1, queryWords.size())) + 1;
    // Per score, those of the live master macro, then the others.
    std::vector<int> counts(size_t(2 * scores + 1), 0);
    std::vector<int> found; // index and its bucket, in pairs
    found.reserve(2 * size_t(candidates.size()));
    for (int i = 0; i < size(); ++i) {
        if (!wanted[size_t(i)])
            continue;
        const Folded &folded = m_folded.at(i);
        const int score = queryWords.isEmpty() ? 0 : this->score(queryWords, folded);
        if (score < 0)
            continue;
        if (m_recency.at(i) != NotRecent) {
            recent.push_back({score, m_recency.at(i), i});
            continue;
        }
        const int bucket = 2 * score + (m_live[size_t(folded.master)] ? 0 : 1);
        ++counts[size_t(bucket) + 1];
        found.push_back(i);
        found.push_back(bucket);
    }
    std::sort(recent.begin(), recent.end(), [](const Recent &a, const Recent &b) {
        return a.score != b.score ? a.score < b.score : a.recency < b.recency;
    });
    // Each score's recent notes go before its bucket pair: room is made for them there.
    for (const Recent &one : recent)
        ++counts[size_t(2 * one.score) + 1];
    std::partial_sum(counts.begin(), counts.end(), counts.begin());
    QList<int> indices(qsizetype(found.size() / 2 + recent.size()));
    for (const Recent &one : recent)
        indices[counts[size_t(2 * one.score)]++] = one.index;
    for (size_t i = 0; i < found.size(); i += 2)
        indices[counts[size_t(found[i + 1])]++] = found[i];
    return indices;
}
