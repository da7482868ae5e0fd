#include "csvlayout.h"

#include <algorithm>
#include <QSet>

namespace {

using Role = CsvLayout::Role;

// The words of headers, the likelier meaning of a column first within each role. "shortcut" is
// a hot key to some programs and an abbreviation to others: its cells tell.
struct Word
{
    const char *word;
    Role role;
};
constexpr Word HeaderWords[] = {
    {"name", Role::Name},
    {"note", Role::Name},
    {"title", Role::Name},
    {"label", Role::Name},
    {"description", Role::Name},
    {"text", Role::Text},
    {"snippet", Role::Text},
    {"content", Role::Text},
    {"contents", Role::Text},
    {"expansion", Role::Text},
    {"phrase", Role::Text},
    {"replacement", Role::Text},
    {"replace", Role::Text},
    {"body", Role::Text},
    {"mastermacro", Role::Master},
    {"master", Role::Master},
    {"group", Role::Master},
    {"folder", Role::Master},
    {"category", Role::Master},
    {"collection", Role::Master},
    {"hotkey", Role::HotKey},
    {"shortcut", Role::HotKey},
    {"abbreviation", Role::Abbreviation},
    {"abbrev", Role::Abbreviation},
    {"keyword", Role::Abbreviation},
    {"trigger", Role::Abbreviation},
    {"command", Role::Abbreviation},
};
constexpr int Unknown = -1;

// The index in HeaderWords of what a header cell says, or Unknown.
int headerWord(const QString &cell)
{
    QString folded = cell.trimmed().toCaseFolded();
    folded.remove(QLatin1Char(' ')).remove(QLatin1Char('_')).remove(QLatin1Char('-'));
    for (int i = 0; i < static_cast<int>(std::size(HeaderWords)); ++i) {
        if (folded == QLatin1String(HeaderWords[i].word))
            return i;
    }
    return Unknown;
}

bool isModifier(QString word)
{
    word = word.trimmed().toCaseFolded();
    if (word.startsWith(QLatin1Char('<')) && word.endsWith(QLatin1Char('>')))
        word = word.mid(1, word.size() - 2);
    static const QSet<QString> modifiers = {
        QStringLiteral("ctrl"),  QStringLiteral("control"), QStringLiteral("alt"),
        QStringLiteral("shift"), QStringLiteral("meta"),    QStringLiteral("super"),
        QStringLiteral("win"),   QStringLiteral("cmd"),     QStringLiteral("altgr")};
    return modifiers.contains(word);
}

// "Ctrl+Alt+A", "<ctrl>+<shift>+F5": modifiers and a key.
bool isHotKey(const QString &cell)
{
    const QStringList parts = cell.split(QLatin1Char('+'));
    return parts.size() >= 2 && !parts.last().trimmed().isEmpty() &&
           std::all_of(parts.cbegin(), parts.cend() - 1, isModifier);
}

bool isAddress(const QString &cell)
{
    return cell.contains(QLatin1String("://")) || cell.startsWith(QLatin1String("www."));
}

// What the filled cells of a column are like.
struct Cells
{
    int filled = 0;
    qint64 length = 0;
    qsizetype longest = 0;
    int spaced = 0; // holding white space or a line break
    int rich = 0;   // those, or an address
    int hotKeys = 0;
    int punctuated = 0; // starting with neither a letter nor a digit, as triggers often do
    int capitals = 0;
    QSet<QString> values;

    double share(int count) const { return filled > 0 ? double(count) / filled : 0; }
    double average() const { return filled > 0 ? double(length) / filled : 0; }
};

QList<Cells> cellsOf(const QList<QStringList> &rows, qsizetype from, int columns)
{
    QList<Cells> cells(columns);
    for (qsizetype r = from; r < rows.size(); ++r) {
        const QStringList &row = rows.at(r);
        for (int c = 0; c < columns && c < row.size(); ++c) {
            const QString cell = row.at(c).trimmed();
            if (cell.isEmpty())
                continue;
            Cells &column = cells[c];
            ++column.filled;
            column.length += cell.size();
            column.longest = std::max(column.longest, cell.size());
            const bool spaced =
                std::any_of(cell.cbegin(), cell.cend(), [](QChar ch) { return ch.isSpace(); });
            column.spaced += spaced;
            column.rich += spaced || isAddress(cell);
            column.hotKeys += isHotKey(cell);
            column.punctuated += !cell.at(0).isLetterOrNumber();
            column.capitals +=
                std::any_of(cell.cbegin(), cell.cend(), [](QChar ch) { return ch.isUpper(); });
            column.values.insert(cell);
        }
    }
    return cells;
}

// The free column (holding something, no role yet) that `better` prefers, or -1.
template <typename Better>
int pick(const QList<Cells> &cells, const QList<Role> &roles, Better better)
{
    int best = -1;
    for (int c = 0; c < cells.size(); ++c) {
        if (roles.at(c) != Role::None || cells.at(c).filled == 0)
            continue;
        if (best < 0 || better(cells.at(c), cells.at(best)))
            best = c;
    }
    return best;
}

void give(QList<Role> &roles, int column, Role role)
{
    if (column >= 0 && !roles.contains(role))
        roles[column] = role;
}

// Gives the roles no column holds yet to the free columns their cells suit.
void guess(const QList<Cells> &cells, QList<Role> &roles)
{
    const auto allHotKeys = [](const Cells &a) { return a.hotKeys == a.filled; };
    const int hotKeys = pick(cells, roles, [&](const Cells &a, const Cells &b) {
        return allHotKeys(a) && !allHotKeys(b);
    });
    if (hotKeys >= 0 && allHotKeys(cells.at(hotKeys)))
        give(roles, hotKeys, Role::HotKey);
    const auto textScore = [](const Cells &a) { return a.average() * (1 + a.share(a.rich)); };
    give(roles,
         pick(cells, roles,
              [&](const Cells &a, const Cells &b) { return textScore(a) > textScore(b); }),
         Role::Text);
    // A master macro holds several notes: its name comes back, in a table of some rows.
    const auto repeats = [](const Cells &a) {
        return a.filled >= 3 && a.values.size() * 2 <= a.filled;
    };
    const int master = pick(cells, roles, [&](const Cells &a, const Cells &b) {
        return repeats(a) && (!repeats(b) || a.values.size() < b.values.size());
    });
    if (master >= 0 && repeats(cells.at(master)))
        give(roles, master, Role::Master);
    const auto abbreviation = [](const Cells &a) { return a.spaced == 0 && a.longest <= 32; };
    const int shortest = pick(cells, roles, [&](const Cells &a, const Cells &b) {
        if (abbreviation(a) != abbreviation(b))
            return abbreviation(a);
        if (a.share(a.punctuated) != b.share(b.punctuated))
            return a.share(a.punctuated) > b.share(b.punctuated);
        if (a.share(a.capitals) != b.share(b.capitals))
            return a.share(a.capitals) < b.share(b.capitals);
        return a.average() < b.average();
    });
    if (shortest >= 0 && abbreviation(cells.at(shortest)))
        give(roles, shortest, Role::Abbreviation);
    give(roles,
         pick(cells, roles, [](const Cells &a, const Cells &b) { return a.filled > b.filled; }),
         Role::Name);
}

// A first row that names nothing Keyquill knows may still be a header: short words without
// spaces above a column of texts that have them.
bool looksLikeHeader(const QStringList &first, const QList<Cells> &rest, int columns)
{
    QSet<QString> words;
    for (int c = 0; c < columns; ++c) {
        const QString cell = first.value(c).trimmed();
        if (cell.isEmpty() || cell.size() > 24 || cell.contains(QLatin1Char('\n')) ||
            words.contains(cell))
            return false;
        words.insert(cell);
    }
    QList<Role> roles(columns, Role::None);
    guess(rest, roles);
    const int text = static_cast<int>(roles.indexOf(Role::Text));
    return text >= 0 && !first.at(text).trimmed().contains(QLatin1Char(' ')) &&
           rest.at(text).share(rest.at(text).spaced) >= 0.5;
}

} // namespace

CsvLayout CsvLayout::of(const QList<QStringList> &rows)
{
    CsvLayout layout;
    int columns = 0;
    for (const QStringList &row : rows)
        columns = std::max(columns, static_cast<int>(std::min<qsizetype>(row.size(), MaxColumns)));
    layout.roles = QList<Role>(columns, Role::None);
    if (rows.isEmpty())
        return layout;
    const QList<Cells> rest = cellsOf(rows, 1, columns);
    // The header's words: for each role, the likeliest column naming it.
    const QStringList &first = rows.first();
    QList<int> rank(columns, Unknown);
    int named = 0;
    for (int c = 0; c < columns && c < first.size(); ++c) {
        const int word = headerWord(first.at(c));
        if (word == Unknown)
            continue;
        Role role = HeaderWords[word].role;
        if (role == Role::HotKey && rest.at(c).hotKeys < rest.at(c).filled)
            role = Role::Abbreviation;
        const int holder = static_cast<int>(layout.roles.indexOf(role));
        if (holder >= 0 && rank.at(holder) <= word)
            continue;
        if (holder >= 0)
            layout.roles[holder] = Role::None;
        else
            ++named;
        layout.roles[c] = role;
        rank[c] = word;
    }
    const bool hasText = layout.roles.contains(Role::Text);
    if (hasText && (named >= 2 || columns == 1)) {
        layout.header = layout.named = true;
        return layout;
    }
    // A known word in a row of notes ("Note", "Please call me") does not make it a header.
    const auto wordsOnly = [&] {
        for (int c = 0; c < columns; ++c) {
            const QString cell = first.value(c).trimmed();
            if (headerWord(cell) == Unknown &&
                (cell.isEmpty() || cell.size() > 24 || cell.contains(QLatin1Char('\n')) ||
                 cell.count(QLatin1Char(' ')) > 1))
                return false;
        }
        return true;
    };
    layout.header =
        (named > 0 && wordsOnly()) || (rows.size() >= 2 && looksLikeHeader(first, rest, columns));
    if (!layout.header)
        layout.roles.fill(Role::None);
    guess(layout.header ? rest : cellsOf(rows, 0, columns), layout.roles);
    return layout;
}

int CsvLayout::column(Role role) const
{
    return role == Role::None ? -1 : static_cast<int>(roles.indexOf(role));
}

void CsvLayout::setRole(int column, Role role)
{
    if (column < 0 || column >= roles.size())
        return;
    const int holder = this->column(role);
    if (holder >= 0)
        roles[holder] = Role::None;
    roles[column] = role;
}
