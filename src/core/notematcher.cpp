#include "notematcher.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <QRegularExpression>
#include <vector>

namespace {

constexpr int NotRecent = std::numeric_limits<int>::max();

bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

} // namespace

NoteMatcher::NoteMatcher(QList<Entry> entries) : m_entries(std::move(entries))
{
    m_folded.reserve(m_entries.size());
    // Master macro names repeat for every note: folded once each.
    QHash<QString, QString> masters;
    for (const Entry &entry : std::as_const(m_entries)) {
        auto master = masters.find(entry.master);
        if (master == masters.end())
            master = masters.insert(entry.master, fold(entry.master));
        m_folded.append({fold(entry.note), *master, fold(entry.text)});
    }
    m_recency.fill(NotRecent, m_entries.size());
}

void NoteMatcher::setRecent(const QStringList &keys)
{
    QHash<QString, int> places;
    for (int i = int(keys.size()) - 1; i >= 0; --i)
        places.insert(keys.at(i), i);
    for (int i = 0; i < size(); ++i)
        m_recency[i] = places.value(key(m_entries.at(i).master, m_entries.at(i).note), NotRecent);
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
    *atWordStart = false;
    qsizetype from = 0;
    bool found = false;
    for (;;) {
        const qsizetype at = folded.indexOf(word, from);
        if (at < 0)
            return found;
        found = true;
        if (at == 0 || !folded.at(at - 1).isLetterOrNumber()) {
            *atWordStart = true;
            return true;
        }
        from = at + 1;
    }
}

int NoteMatcher::score(const QStringList &words, const Folded &folded) const
{
    int total = 0;
    for (const QString &word : words) {
        int best = Missing;
        const QString *fields[] = {&folded.note, &folded.master, &folded.text};
        for (int field = 0; field < 3 && best > NameStart + 2 * field; ++field) {
            bool start = false;
            if (occurs(*fields[field], word, &start))
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
    const QStringList queryWords = words(query);
    struct Found
    {
        int score;
        int recency;
        int index;
    };
    std::vector<Found> found;
    found.reserve(size_t(candidates.size()));
    for (int i : candidates) {
        const int score = queryWords.isEmpty() ? 0 : this->score(queryWords, m_folded.at(i));
        if (score >= 0)
            found.push_back({score, m_recency.at(i), i});
    }
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        if (a.score != b.score)
            return a.score < b.score;
        if (a.recency != b.recency)
            return a.recency < b.recency;
        return a.index < b.index;
    });
    QList<int> indices;
    indices.reserve(qsizetype(found.size()));
    for (const Found &one : found)
        indices.append(one.index);
    return indices;
}
