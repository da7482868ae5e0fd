#include "snippettext.h"

#include <algorithm>
#include <QHash>
#include <QRegularExpression>

namespace {

// Literal text inside a Qt date format: letters quoted, so that none is read as a field.
QString quotedLiteral(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    const bool hasLetter =
        std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isLetter(); });
    return hasLetter ? QLatin1Char('\'') + quoted + QLatin1Char('\'') : quoted;
}

// AutoKey's names of keys a phrase presses, as the key names of the fill-in.
const QHash<QString, QString> &mappedKeys()
{
    static const QHash<QString, QString> keys = {
        {QStringLiteral("left"), QStringLiteral("Left")},
        {QStringLiteral("right"), QStringLiteral("Right")},
        {QStringLiteral("up"), QStringLiteral("Up")},
        {QStringLiteral("down"), QStringLiteral("Down")},
        {QStringLiteral("home"), QStringLiteral("Home")},
        {QStringLiteral("end"), QStringLiteral("End")},
        {QStringLiteral("enter"), QStringLiteral("Return")},
        {QStringLiteral("tab"), QStringLiteral("Tab")},
        {QStringLiteral("backspace"), QStringLiteral("Backspace")},
        {QStringLiteral("delete"), QStringLiteral("Delete")},
        {QStringLiteral("escape"), QStringLiteral("Escape")}};
    return keys;
}

// AutoKey's other key names: pressed there, no equivalent here. Anything else in angle brackets
// ("<pre>", "<b>") is text.
bool isOtherKey(const QString &name)
{
    static const QRegularExpression other(QStringLiteral(
        "^(alt|alt_gr|capslock|ctrl|hyper|insert|menu|meta|numlock|page_down|page_up|pause|"
        "print_screen|scroll_lock|shift|super|f([1-9]|[12][0-9]|3[0-5])|np_\\w+|code\\d+)$"));
    return other.match(name).hasMatch();
}

} // namespace

QString SnippetText::literal(QString text)
{
    return text.replace(QLatin1String("{{"), QLatin1String("{{{{"));
}

QString SnippetText::qtDateFormat(const QString &strftime)
{
    static const QHash<QChar, QString> fields = {{QLatin1Char('Y'), QStringLiteral("yyyy")},
                                                 {QLatin1Char('y'), QStringLiteral("yy")},
                                                 {QLatin1Char('m'), QStringLiteral("MM")},
                                                 {QLatin1Char('d'), QStringLiteral("dd")},
                                                 {QLatin1Char('e'), QStringLiteral("d")},
                                                 {QLatin1Char('H'), QStringLiteral("HH")},
                                                 {QLatin1Char('I'), QStringLiteral("hh")},
                                                 {QLatin1Char('M'), QStringLiteral("mm")},
                                                 {QLatin1Char('S'), QStringLiteral("ss")},
                                                 {QLatin1Char('p'), QStringLiteral("AP")},
                                                 {QLatin1Char('P'), QStringLiteral("ap")},
                                                 {QLatin1Char('A'), QStringLiteral("dddd")},
                                                 {QLatin1Char('a'), QStringLiteral("ddd")},
                                                 {QLatin1Char('B'), QStringLiteral("MMMM")},
                                                 {QLatin1Char('b'), QStringLiteral("MMM")},
                                                 {QLatin1Char('h'), QStringLiteral("MMM")},
                                                 {QLatin1Char('Z'), QStringLiteral("t")},
                                                 {QLatin1Char('D'), QStringLiteral("MM/dd/yy")},
                                                 {QLatin1Char('F'), QStringLiteral("yyyy-MM-dd")},
                                                 {QLatin1Char('T'), QStringLiteral("HH:mm:ss")},
                                                 {QLatin1Char('R'), QStringLiteral("HH:mm")}};
    // "%-d" and friends: the same field without padding.
    static const QHash<QChar, QString> unpadded = {
        {QLatin1Char('d'), QStringLiteral("d")}, {QLatin1Char('m'), QStringLiteral("M")},
        {QLatin1Char('H'), QStringLiteral("H")}, {QLatin1Char('I'), QStringLiteral("h")},
        {QLatin1Char('M'), QStringLiteral("m")}, {QLatin1Char('S'), QStringLiteral("s")},
        {QLatin1Char('e'), QStringLiteral("d")}};
    QString format;
    QString literal;
    for (qsizetype i = 0; i < strftime.size(); ++i) {
        const QChar c = strftime.at(i);
        if (c != QLatin1Char('%')) {
            literal += c;
            continue;
        }
        if (++i >= strftime.size())
            return {};
        QChar conversion = strftime.at(i);
        const QHash<QChar, QString> *table = &fields;
        if (conversion == QLatin1Char('-') && i + 1 < strftime.size()) {
            table = &unpadded;
            conversion = strftime.at(++i);
        }
        if (conversion == QLatin1Char('%') || conversion == QLatin1Char('n') ||
            conversion == QLatin1Char('t')) {
            literal += conversion == QLatin1Char('%')   ? QLatin1Char('%')
                       : conversion == QLatin1Char('n') ? QLatin1Char('\n')
                                                        : QLatin1Char('\t');
            continue;
        }
        const auto field = table->constFind(conversion);
        if (field == table->cend())
            return {};
        format += quotedLiteral(literal) + field.value();
        literal.clear();
    }
    return format + quotedLiteral(literal);
}

bool SnippetText::dayOffset(const QString &seconds, QString *suffix)
{
    bool ok = false;
    const qlonglong value = seconds.trimmed().toLongLong(&ok);
    constexpr qlonglong Day = 86400;
    constexpr qlonglong MaxDays = 99999; // the fill-in's offsets have at most five digits
    if (!ok || value % Day != 0 || value / Day > MaxDays || value / Day < -MaxDays)
        return false;
    suffix->clear();
    if (value != 0)
        *suffix = QStringLiteral(":%1%2d")
                      .arg(value > 0 ? QStringLiteral("+") : QString())
                      .arg(value / Day);
    return true;
}

QString SnippetText::autoKeyPhrase(const QString &phrase, QStringList *otherKeys)
{
    static const QRegularExpression key(QStringLiteral("<([a-z0-9_]+)>"));
    const QString text = literal(phrase);
    QString converted;
    qsizetype done = 0;
    for (auto it = key.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch found = it.next();
        const QString name = found.captured(1);
        QString placeholder;
        if (name == QLatin1String("cursor"))
            placeholder = QStringLiteral("{{cursor}}");
        else if (const auto mapped = mappedKeys().constFind(name); mapped != mappedKeys().cend())
            placeholder = QStringLiteral("{{key:%1}}").arg(mapped.value());
        else if (isOtherKey(name))
            otherKeys->append(found.captured());
        if (placeholder.isEmpty())
            continue;
        converted += QStringView(text).mid(done, found.capturedStart() - done);
        converted += placeholder;
        done = found.capturedEnd();
    }
    converted += QStringView(text).mid(done);
    return converted;
}

SnippetText::BeeftextVariable SnippetText::beeftextVariableAt(const QString &text, qsizetype start)
{
    BeeftextVariable variable;
    for (qsizetype i = start + 2; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\') && i + 1 < text.size() &&
            (text.at(i + 1) == QLatin1Char('}') || text.at(i + 1) == QLatin1Char('\\'))) {
            variable.body += text.at(++i);
        } else if (c == QLatin1Char('}')) {
            variable.end = i + 1;
            return variable;
        } else {
            variable.body += c;
        }
    }
    return variable;
}

QString SnippetText::beeftextPlaceholder(const QString &body)
{
    if (body == QLatin1String("clipboard"))
        return QStringLiteral("{{clipboard}}");
    if (body == QLatin1String("date"))
        return QStringLiteral("{{date}}");
    if (body == QLatin1String("time"))
        return QStringLiteral("{{time}}");
    if (body == QLatin1String("dateTime"))
        return QStringLiteral("{{date}} {{time}}");
    if (body == QLatin1String("cursor"))
        return QStringLiteral("{{cursor}}");
    const QString kind = body.section(QLatin1Char(':'), 0, 0);
    const QString parameter = body.section(QLatin1Char(':'), 1);
    // A shifted date ("dateTime:+1d:...") has no placeholder.
    if (kind == QLatin1String("dateTime") && !parameter.isEmpty() &&
        !parameter.startsWith(QLatin1Char('+')) && !parameter.startsWith(QLatin1Char('-')))
        return QStringLiteral("{{date:%1}}").arg(parameter);
    if (kind == QLatin1String("input"))
        return QStringLiteral("{{input:%1}}").arg(parameter);
    return {};
}
