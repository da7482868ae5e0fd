#include "fillin.h"

#include <memory>
#include <optional>
#include <QCoreApplication>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTextBoundaryFinder>

namespace {

const QString Open = QStringLiteral("{{");
const QString Close = QStringLiteral("}}");
// A note name in a warning: the tray's tool tip and the editor show them.
constexpr qsizetype ShownName = 60;
// Of the notes left as written because they include themselves or are too deep.
constexpr qsizetype MaxWarnings = 3;
// Qt's date formatter takes time that grows with the square of the format's length.
constexpr qsizetype MaxDateFormat = 256;

int graphemes(QStringView text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), int(text.size()));
    int count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

QString shown(QStringView text)
{
    return text.size() <= ShownName ? text.toString()
                                    : text.left(ShownName).toString() + QChar(0x2026);
}

// Walks `text` once: plain text goes to `plain` (with "{{{{" as "{{"), each placeholder to
// `placeholder` as what stands between its braces and as written; a false from it ends the walk
// there. Linear however the braces are strewn.
template <typename Plain, typename Placeholder>
void walk(QStringView text, Plain &&plain, Placeholder &&placeholder)
{
    qsizetype at = 0;
    qsizetype close = -2; // the next "}}" once looked for; -1: there is none
    while (at < text.size()) {
        const qsizetype open = text.indexOf(Open, at);
        if (open < 0)
            break;
        plain(text.mid(at, open - at));
        if (text.mid(open, 4) == QLatin1String("{{{{")) {
            plain(QStringView(Open));
            at = open + 4;
            continue;
        }
        // "\frac{{{cursor}}}{}": a brace before the placeholder's own two is text.
        if (text.mid(open + 2, 1) == QLatin1String("{")) {
            plain(text.mid(open, 1));
            at = open + 1;
            continue;
        }
        if (close == -2 || (close >= 0 && close < open + 2))
            close = text.indexOf(Close, open + 2);
        if (close < 0) {
            at = open;
            break;
        }
        // "{{ a {{date}}": the first braces are plain text, the placeholder is the inner one.
        const qsizetype reopen = text.indexOf(Open, open + 2);
        if (reopen >= 0 && reopen < close) {
            plain(text.mid(open, reopen - open));
            at = reopen;
            continue;
        }
        at = close + 2;
        if (!placeholder(text.mid(open + 2, close - open - 2), text.mid(open, at - open)))
            return;
    }
    plain(text.mid(at));
}

} // namespace

// One walk over a text and the notes it includes. The first walk only collects the inputs, so
// that the user is asked for all of them at once before anything is filled in.
struct FillIn::Pass
{
    bool collecting = false;
    QString out;
    QStringList labels;
    QStringList values;
    bool asked = false;
    QStringList including; // the notes being filled in, outermost first
    qsizetype cursorAt = -1;
    QStringList warnings;
    QList<KeyAt> keys;
    std::optional<QString> *clipboard = nullptr; // read once for both walks
    qsizetype filled = 0;                        // counted against MaxFilled
    bool over = false;                           // MaxFilled was reached: nothing more is filled
};

FillIn::FillIn(const QDateTime &now, ClipboardRead clipboard, const QLocale &locale)
    : m_now(now), m_clipboard(std::move(clipboard)), m_locale(locale)
{
}

FillIn::NoteLookup FillIn::remembering(NoteLookup notes)
{
    if (!notes)
        return notes;
    // An absent note is remembered as a null string, an empty one as an empty string.
    auto seen = std::make_shared<QHash<QString, QString>>();
    return [notes = std::move(notes), seen](const QString &name, QString *text) {
        auto it = seen->constFind(name);
        if (it == seen->constEnd()) {
            QString found;
            if (!notes(name, &found))
                found = QString();
            else if (found.isNull())
                found = QStringLiteral("");
            it = seen->insert(name, found);
        }
        if (it->isNull())
            return false;
        *text = *it;
        return true;
    };
}

FillIn::Result FillIn::expand(const QString &text, const QString &name) const
{
    Result result;
    std::optional<QString> clipboard;
    const Pass collect = collectInputs(text, name, &clipboard);

    Pass fill;
    fill.clipboard = &clipboard;
    fill.including = collect.including;
    fill.labels = collect.labels;
    if (!fill.labels.isEmpty() && m_ask) {
        if (!m_ask(name, fill.labels, &fill.values)) {
            result.cancelled = true;
            return result;
        }
        fill.asked = true;
    }
    expandInto(text, 0, fill);
    result.text = fill.out;
    result.keys = fill.keys;
    result.warnings = fill.warnings;
    result.cursorAt = fill.cursorAt;
    if (fill.cursorAt >= 0)
        result.cursorLeft = graphemes(QStringView(fill.out).mid(fill.cursorAt));
    return result;
}

FillIn::Pass FillIn::collectInputs(const QString &text, const QString &name,
                                   std::optional<QString> *clipboard) const
{
    Pass collect;
    collect.collecting = true;
    collect.clipboard = clipboard;
    if (!name.isEmpty())
        collect.including << name;
    expandInto(text, 0, collect);
    return collect;
}

QStringList FillIn::inputs(const QString &text, const QString &name) const
{
    std::optional<QString> clipboard;
    return collectInputs(text, name, &clipboard).labels;
}

bool FillIn::readsClipboard(const QString &text) const
{
    // Every note reachable is looked at once, however often it is included.
    QStringList waiting{text};
    QSet<QString> seen;
    bool reads = false;
    while (!waiting.isEmpty() && !reads) {
        const QString next = waiting.takeLast();
        walk(
            next, [](QStringView) {},
            [&](QStringView inside, QStringView) {
                reads = inside == QLatin1String("clipboard");
                if (!inside.startsWith(QLatin1String("note:")) || !m_notes)
                    return !reads;
                const QString name = inside.mid(5).toString();
                QString included;
                if (!seen.contains(name) && m_notes(name, &included))
                    waiting << included;
                seen.insert(name);
                return true;
            });
    }
    return reads;
}

void FillIn::expandInto(QStringView text, int depth, Pass &pass) const
{
    walk(
        text, [&pass](QStringView plain) { pass.out += plain; },
        [&](QStringView inside, QStringView whole) {
            const bool wasOver = pass.over;
            if (!wasOver && fillOne(inside.toString(), depth, pass))
                return true;
            // Past the limit only the outermost text goes on, as written.
            if (pass.over && depth > 0)
                return false;
            if (pass.over && !wasOver)
                pass.warnings << QCoreApplication::translate(
                                     "FillIn", "The text would grow past %L1 characters, so %2 "
                                               "and the placeholders after it were delivered as "
                                               "written.")
                                     .arg(MaxFilled)
                                     .arg(shown(whole));
            pass.out += whole;
            return true;
        });
}

// Counts `size` more characters filled in; false (and nothing more is filled) past the limit.
bool FillIn::charge(qsizetype size, Pass &pass) const
{
    if (size > MaxFilled - pass.filled) {
        pass.over = true;
        return false;
    }
    pass.filled += size;
    return true;
}

// Appends what `inside` (the text between the braces) stands for; false leaves it as written.
bool FillIn::fillOne(const QString &inside, int depth, Pass &pass) const
{
    QString piece;
    if (inside == QLatin1String("date")) {
        piece = m_locale.toString(m_now.date(), QLocale::ShortFormat);
    } else if (inside == QLatin1String("time")) {
        piece = m_locale.toString(m_now.time(), QLocale::ShortFormat);
    } else if (inside.startsWith(QLatin1String("date:")) && inside.size() <= 5 + MaxDateFormat) {
        piece = date(inside.mid(5));
    } else if (inside == QLatin1String("clipboard")) {
        if (!pass.clipboard->has_value())
            *pass.clipboard = m_clipboard ? m_clipboard() : QString();
        piece = **pass.clipboard;
    } else if (inside == QLatin1String("cursor")) {
        // Only one caret: a second marker is text.
        if (pass.cursorAt >= 0)
            return false;
        pass.cursorAt = pass.out.size();
        return true;
    } else if (inside.startsWith(QLatin1String("input:")) && inside.size() > 6) {
        const QString label = inside.mid(6);
        if (pass.collecting) {
            if (!pass.labels.contains(label))
                pass.labels << label;
            return true;
        }
        if (!pass.asked)
            return false; // nobody to ask
        piece = pass.values.value(pass.labels.indexOf(label));
    } else if (inside.startsWith(QLatin1String("note:"))) {
        return fillNote(inside.mid(5), depth, pass);
    } else if (inside.startsWith(QLatin1String("key:"))) {
        const int key = keyNamed(QStringView(inside).mid(4));
        if (key == 0)
            return false;
        pass.keys.append({pass.out.size(), key});
        return true;
    } else {
        return false;
    }
    if (!charge(piece.size(), pass))
        return false;
    pass.out += piece;
    return true;
}

bool FillIn::fillNote(const QString &name, int depth, Pass &pass) const
{
    QString text;
    if (!m_notes || !m_notes(name, &text))
        return false;
    const bool itself = pass.including.contains(name);
    if (itself || depth >= MaxDepth) {
        const QString warning =
            itself ? QCoreApplication::translate("FillIn",
                                                 "The Note \"%1\" includes itself, so {{note:%1}} "
                                                 "was delivered as written.")
                         .arg(shown(name))
                   : QCoreApplication::translate("FillIn",
                                                 "Notes include each other more than %1 deep, so "
                                                 "{{note:%2}} was delivered as written.")
                         .arg(MaxDepth)
                         .arg(shown(name));
        // A few say what is wrong; hundreds would make the tool tip taller than the screen.
        if (!pass.collecting && pass.warnings.size() < MaxWarnings &&
            !pass.warnings.contains(warning))
            pass.warnings << warning;
        return false;
    }
    // Counted before it is walked: nothing grows past the limit first.
    if (!charge(text.size(), pass))
        return false;
    const qsizetype outAt = pass.out.size();
    const qsizetype labelsAt = pass.labels.size();
    const qsizetype warningsAt = pass.warnings.size();
    const qsizetype keysAt = pass.keys.size();
    const qsizetype cursorAt = pass.cursorAt;
    pass.including << name;
    expandInto(text, depth + 1, pass);
    pass.including.removeLast();
    if (!pass.over)
        return true;
    // Cut off on the way: the note is left as written, with nothing of what it brought.
    pass.out.truncate(outAt);
    pass.labels.resize(labelsAt);
    pass.warnings.resize(warningsAt);
    pass.keys.resize(keysAt);
    pass.cursorAt = cursorAt;
    return false;
}

// "FORMAT" or "FORMAT:+3d" (days, weeks, months; the format may hold colons itself).
QString FillIn::date(const QString &argument) const
{
    static const QRegularExpression offsetPattern(QStringLiteral("^([+-]\\d{1,5})([dwM])$"));
    QString format = argument;
    QDateTime when = m_now;
    const qsizetype colon = argument.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        const QRegularExpressionMatch offset = offsetPattern.match(argument.mid(colon + 1));
        if (offset.hasMatch()) {
            format = argument.left(colon);
            const int count = offset.captured(1).toInt();
            const QChar unit = offset.captured(2).at(0);
            when = unit == QLatin1Char('M')
                       ? when.addMonths(count)
                       : when.addDays(unit == QLatin1Char('w') ? 7LL * count : count);
        }
    }
    if (format.isEmpty())
        return m_locale.toString(when.date(), QLocale::ShortFormat);
    return m_locale.toString(when, format);
}

// The keys a phrase of another program may press, by Qt's names; 0 for any other.
int FillIn::keyNamed(QStringView name)
{
    static const QHash<QString, int> keys{{QStringLiteral("Left"), Qt::Key_Left},
                                          {QStringLiteral("Right"), Qt::Key_Right},
                                          {QStringLiteral("Up"), Qt::Key_Up},
                                          {QStringLiteral("Down"), Qt::Key_Down},
                                          {QStringLiteral("Home"), Qt::Key_Home},
                                          {QStringLiteral("End"), Qt::Key_End},
                                          {QStringLiteral("Return"), Qt::Key_Return},
                                          {QStringLiteral("Enter"), Qt::Key_Return},
                                          {QStringLiteral("Tab"), Qt::Key_Tab},
                                          {QStringLiteral("Backspace"), Qt::Key_Backspace},
                                          {QStringLiteral("Delete"), Qt::Key_Delete},
                                          {QStringLiteral("Escape"), Qt::Key_Escape}};
    return keys.value(name.toString());
}
