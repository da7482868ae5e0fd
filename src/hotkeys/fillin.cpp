#include "fillin.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTextBoundaryFinder>

namespace {

const QString Open = QStringLiteral("{{");
const QString Close = QStringLiteral("}}");

int graphemes(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
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
    bool clipboardRead = false;
    QString clipboard;
};

FillIn::FillIn(const QDateTime &now, ClipboardRead clipboard, const QLocale &locale)
    : m_now(now), m_clipboard(std::move(clipboard)), m_locale(locale)
{
}

FillIn::Result FillIn::expand(const QString &text, const QString &name) const
{
    Result result;
    Pass collect;
    collect.collecting = true;
    if (!name.isEmpty())
        collect.including << name;
    expandInto(text, 0, collect);

    Pass fill;
    fill.including = collect.including;
    fill.labels = collect.labels;
    if (!fill.labels.isEmpty() && m_ask) {
        if (!m_ask(fill.labels, &fill.values)) {
            result.cancelled = true;
            return result;
        }
        fill.asked = true;
    }
    expandInto(text, 0, fill);
    result.text = fill.out;
    result.warnings = fill.warnings;
    result.cursorAt = fill.cursorAt;
    if (fill.cursorAt >= 0)
        result.cursorLeft = graphemes(fill.out.mid(fill.cursorAt));
    return result;
}

void FillIn::expandInto(const QString &text, int depth, Pass &pass) const
{
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype open = text.indexOf(Open, at);
        if (open < 0)
            break;
        pass.out += QStringView(text).mid(at, open - at);
        if (QStringView(text).mid(open, 4) == QLatin1String("{{{{")) {
            pass.out += Open;
            at = open + 4;
            continue;
        }
        const qsizetype close = text.indexOf(Close, open + 2);
        if (close < 0) {
            at = open;
            break;
        }
        // "{{ a {{date}}": the first braces are plain text, the placeholder is the inner one.
        const qsizetype reopen = text.indexOf(Open, open + 2);
        if (reopen >= 0 && reopen < close) {
            pass.out += QStringView(text).mid(open, reopen - open);
            at = reopen;
            continue;
        }
        if (!fillOne(text.mid(open + 2, close - open - 2), depth, pass))
            pass.out += QStringView(text).mid(open, close + 2 - open);
        at = close + 2;
    }
    pass.out += QStringView(text).mid(at);
}

// Appends what `inside` (the text between the braces) stands for; false leaves it as written.
bool FillIn::fillOne(const QString &inside, int depth, Pass &pass) const
{
    if (inside == QLatin1String("date")) {
        pass.out += m_locale.toString(m_now.date(), QLocale::ShortFormat);
    } else if (inside == QLatin1String("time")) {
        pass.out += m_locale.toString(m_now.time(), QLocale::ShortFormat);
    } else if (inside.startsWith(QLatin1String("date:"))) {
        pass.out += date(inside.mid(5));
    } else if (inside == QLatin1String("clipboard")) {
        if (!pass.collecting && !pass.clipboardRead) {
            pass.clipboard = m_clipboard ? m_clipboard() : QString();
            pass.clipboardRead = true;
        }
        pass.out += pass.clipboard;
    } else if (inside == QLatin1String("cursor")) {
        // Only one caret: a second marker is text.
        if (pass.cursorAt >= 0)
            return false;
        pass.cursorAt = pass.out.size();
    } else if (inside.startsWith(QLatin1String("input:")) && inside.size() > 6) {
        const QString label = inside.mid(6);
        if (pass.collecting) {
            if (!pass.labels.contains(label))
                pass.labels << label;
        } else if (pass.asked) {
            pass.out += pass.values.value(pass.labels.indexOf(label));
        } else {
            return false; // nobody to ask
        }
    } else if (inside.startsWith(QLatin1String("note:"))) {
        const QString name = inside.mid(5);
        QString text;
        if (!m_notes || !m_notes(name, &text))
            return false;
        if (pass.including.contains(name) || depth >= MaxDepth) {
            const QString warning =
                pass.including.contains(name)
                    ? QCoreApplication::translate(
                          "FillIn", "The Note \"%1\" includes itself, so {{note:%1}} was "
                                    "delivered as written.")
                          .arg(name)
                    : QCoreApplication::translate("FillIn",
                                                  "Notes include each other more than %1 deep, "
                                                  "so {{note:%2}} was delivered as written.")
                          .arg(MaxDepth)
                          .arg(name);
            if (!pass.collecting && !pass.warnings.contains(warning))
                pass.warnings << warning;
            return false;
        }
        pass.including << name;
        expandInto(text, depth + 1, pass);
        pass.including.removeLast();
    } else {
        return false;
    }
    return true;
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
