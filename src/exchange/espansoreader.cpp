#include "espansoreader.h"

#include "importbatch.h"

#include <algorithm>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <yaml-cpp/yaml.h>

namespace {

QString qstring(const YAML::Node &node)
{
    return QString::fromStdString(node.as<std::string>());
}

int lineOf(const YAML::Node &node)
{
    return node.Mark().line + 1;
}

// Literal text inside a Qt date format: letters quoted, so that none is read as a field.
QString quotedLiteral(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    const bool hasLetter =
        std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isLetter(); });
    return hasLetter ? QLatin1Char('\'') + quoted + QLatin1Char('\'') : quoted;
}

// The text a variable stands for in a note, or a reason the match cannot come in.
struct Variable
{
    QString text;
    QString unsupported;
};

Variable variable(const YAML::Node &node)
{
    const YAML::Node type = node["type"];
    const QString kind = type && type.IsScalar() ? qstring(type) : QString();
    const YAML::Node params = node["params"];
    if (kind == QLatin1String("clipboard"))
        return {QStringLiteral("{{clipboard}}"), {}};
    if (kind == QLatin1String("echo")) {
        const YAML::Node echo = params ? params["echo"] : YAML::Node();
        return {ImportBatch::literal(echo && echo.IsScalar() ? qstring(echo) : QString()), {}};
    }
    if (kind == QLatin1String("date")) {
        if (params && params["offset"])
            return {{}, EspansoReader::tr("matches with a date offset")};
        const YAML::Node format = params ? params["format"] : YAML::Node();
        if (!format || !format.IsScalar())
            return {QStringLiteral("{{date}}"), {}};
        const QString qt = EspansoReader::qtDateFormat(qstring(format));
        if (qt.isEmpty())
            return {{}, EspansoReader::tr("matches with a date format without equivalent")};
        return {QStringLiteral("{{date:%1}}").arg(qt), {}};
    }
    return {{},
            EspansoReader::tr("matches using a %1 variable")
                .arg(kind.isEmpty() ? EspansoReader::tr("typeless") : kind)};
}

void addVariables(const YAML::Node &list, QHash<QString, YAML::Node> *variables)
{
    if (!list || !list.IsSequence())
        return;
    for (const YAML::Node &entry : list) {
        const YAML::Node name = entry["name"];
        if (name && name.IsScalar())
            variables->insert(qstring(name), entry);
    }
}

QString trigger(const YAML::Node &match)
{
    const YAML::Node one = match["trigger"];
    if (one && one.IsScalar())
        return qstring(one);
    const YAML::Node many = match["triggers"];
    if (many && many.IsSequence() && many.size() > 0 && many[0].IsScalar())
        return qstring(many[0]);
    return {};
}

// Why a match has no plain text to take, or "".
QString unsupportedKind(const YAML::Node &match)
{
    if (match["regex"])
        return EspansoReader::tr("matches with a regular expression");
    if (match["image_path"])
        return EspansoReader::tr("image matches");
    if (match["form"])
        return EspansoReader::tr("form matches");
    if (match["markdown"] || match["html"])
        return EspansoReader::tr("rich text matches");
    const YAML::Node replace = match["replace"];
    if (!replace || !replace.IsScalar())
        return EspansoReader::tr("matches without a replace text");
    return {};
}

// The note text of a match, or a reason it is left out.
Variable noteText(const YAML::Node &match, const QHash<QString, YAML::Node> &globals)
{
    QHash<QString, YAML::Node> variables = globals;
    addVariables(match["vars"], &variables);
    const QString replace = qstring(match["replace"]);
    static const QRegularExpression reference(QStringLiteral("\\{\\{\\s*([\\w.\\-]+)\\s*\\}\\}"));
    QString text;
    qsizetype done = 0;
    for (auto it = reference.globalMatch(replace); it.hasNext();) {
        const QRegularExpressionMatch found = it.next();
        const auto known = variables.constFind(found.captured(1));
        if (known == variables.cend())
            continue; // not a variable: stays as written
        const Variable value = variable(known.value());
        if (!value.unsupported.isEmpty())
            return value;
        text += ImportBatch::literal(replace.mid(done, found.capturedStart() - done));
        text += value.text;
        done = found.capturedEnd();
    }
    text += ImportBatch::literal(replace.mid(done));
    // espanso's mark for where the cursor goes.
    text.replace(QLatin1String("$|$"), QLatin1String("{{cursor}}"));
    return {text, {}};
}

} // namespace

QString EspansoReader::qtDateFormat(const QString &strftime)
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

void EspansoReader::read(const QString &path, ImportBatch &batch)
{
    QByteArray bytes;
    QString text;
    if (!batch.readFile(path, &bytes) || !batch.decodeUtf8(bytes, &text))
        return;
    // yaml-cpp reports what it cannot read by throwing; nothing of it leaves this function.
    try {
        const YAML::Node root = YAML::Load(text.toStdString());
        const YAML::Node matches = root.IsMap() ? root["matches"] : YAML::Node();
        if (!matches || !matches.IsSequence()) {
            batch.fail(tr("The file holds no \"matches:\" list."),
                       matches ? lineOf(matches) : (root.IsNull() ? 1 : lineOf(root)));
            return;
        }
        QHash<QString, YAML::Node> globals;
        addVariables(root["global_vars"], &globals);
        const int master = batch.master(QFileInfo(path).completeBaseName());
        for (const YAML::Node &match : matches) {
            if (!match.IsMap()) {
                batch.fail(tr("A match is not a list of keys."), lineOf(match));
                return;
            }
            QString reason = unsupportedKind(match);
            const Variable note = reason.isEmpty() ? noteText(match, globals) : Variable();
            if (reason.isEmpty())
                reason = note.unsupported;
            if (!reason.isEmpty()) {
                batch.skip(reason);
                continue;
            }
            QString name = trigger(match);
            if (name.isEmpty() && match["label"] && match["label"].IsScalar())
                name = qstring(match["label"]);
            batch.addNote(master, name, 0, note.text);
        }
    } catch (const YAML::Exception &error) {
        batch.fail(tr("The file is not valid YAML: %1.").arg(QString::fromStdString(error.msg)),
                   error.mark.is_null() ? 0 : error.mark.line + 1);
    }
}
