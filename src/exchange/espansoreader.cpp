#include "espansoreader.h"

#include "core/snippettext.h"
#include "importbatch.h"
#include "yamltree.h"

#include <algorithm>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace {

// The text a variable stands for in a note, or a reason the match cannot come in.
struct Variable
{
    QString text;
    QString unsupported;
};

using Variables = QHash<QString, int>; // name, the variable's map in the tree

Variable date(const YamlTree &yaml, int params)
{
    QString offset;
    const int seconds = yaml.value(params, "offset");
    if (seconds != YamlTree::None && !SnippetText::dayOffset(yaml.scalar(seconds), &offset))
        return {{}, EspansoReader::tr("matches with a date offset other than whole days")};
    const int format = yaml.value(params, "format");
    if (yaml.kind(format) != YamlTree::Kind::Scalar)
        return {offset.isEmpty() ? QStringLiteral("{{date}}")
                                 : QStringLiteral("{{date:%1}}").arg(offset),
                {}};
    const QString qt = SnippetText::qtDateFormat(yaml.scalar(format));
    if (qt.isEmpty())
        return {{}, EspansoReader::tr("matches with a date format without equivalent")};
    return {QStringLiteral("{{date:%1%2}}").arg(qt, offset), {}};
}

// Why a form cannot come in, "" when each of its fields is a text field (asked for as an input).
QString formFields(const YamlTree &yaml, int fields)
{
    const QList<int> entries = yaml.children(fields);
    for (qsizetype i = 1; yaml.kind(fields) == YamlTree::Kind::Map && i < entries.size(); i += 2) {
        const QString type = yaml.scalar(yaml.value(entries.at(i), "type"));
        if (!type.isEmpty() && type != QLatin1String("text"))
            return EspansoReader::tr("matches with a form of choices or lists");
    }
    return {};
}

Variable variable(const YamlTree &yaml, int node, const QString &field)
{
    const QString kind = yaml.scalar(yaml.value(node, "type"));
    const int params = yaml.value(node, "params");
    if (kind == QLatin1String("form")) {
        if (field.isEmpty())
            return {{}, EspansoReader::tr("matches using a form without naming its field")};
        const QString unsupported = formFields(yaml, yaml.value(params, "fields"));
        if (!unsupported.isEmpty())
            return {{}, unsupported};
        return {QStringLiteral("{{input:%1}}").arg(field), {}};
    }
    if (kind == QLatin1String("clipboard"))
        return {QStringLiteral("{{clipboard}}"), {}};
    if (kind == QLatin1String("echo"))
        return {SnippetText::literal(yaml.scalar(yaml.value(params, "echo"))), {}};
    if (kind == QLatin1String("date"))
        return date(yaml, params);
    return {{},
            EspansoReader::tr("matches using a %1 variable")
                .arg(kind.isEmpty() ? EspansoReader::tr("typeless") : kind)};
}

Variables variables(const YamlTree &yaml, int list)
{
    Variables found;
    if (yaml.kind(list) != YamlTree::Kind::Sequence)
        return found;
    const QList<int> entries = yaml.children(list);
    for (const int entry : entries) {
        const int name = yaml.value(entry, "name");
        if (yaml.kind(name) == YamlTree::Kind::Scalar)
            found.insert(yaml.scalar(name), entry);
    }
    return found;
}

// The triggers of a match, the first of them first.
QStringList triggers(const YamlTree &yaml, int match)
{
    const int one = yaml.value(match, "trigger");
    if (yaml.kind(one) == YamlTree::Kind::Scalar)
        return {yaml.scalar(one)};
    QStringList found;
    const int many = yaml.value(match, "triggers");
    if (yaml.kind(many) != YamlTree::Kind::Sequence)
        return found;
    const QList<int> entries = yaml.children(many);
    for (const int entry : entries) {
        if (yaml.kind(entry) == YamlTree::Kind::Scalar)
            found << yaml.scalar(entry);
    }
    return found;
}

// Why a match has no plain text to take, or "".
QString unsupportedKind(const YamlTree &yaml, int match)
{
    const auto has = [&](const char *key) { return yaml.value(match, key) != YamlTree::None; };
    if (has("regex"))
        return EspansoReader::tr("matches with a regular expression");
    if (has("image_path"))
        return EspansoReader::tr("image matches");
    if (has("form") && yaml.kind(yaml.value(match, "form")) != YamlTree::Kind::Scalar)
        return EspansoReader::tr("form matches without a layout text");
    if (has("markdown") || has("html"))
        return EspansoReader::tr("rich text matches");
    if (!has("form") && yaml.kind(yaml.value(match, "replace")) != YamlTree::Kind::Scalar)
        return EspansoReader::tr("matches without a replace text");
    return {};
}

// A form match's text: its layout, each [[field]] asked for as an input.
Variable formText(const YamlTree &yaml, int match)
{
    const QString unsupported = formFields(yaml, yaml.value(match, "form_fields"));
    if (!unsupported.isEmpty())
        return {{}, unsupported};
    static const QRegularExpression field(QStringLiteral("\\[\\[\\s*([\\w\\-]+)\\s*\\]\\]"));
    QString text = SnippetText::literal(yaml.scalar(yaml.value(match, "form")));
    text.replace(field, QStringLiteral("{{input:\\1}}"));
    return {text, {}};
}

// The note text of a match, or a reason it is left out. The match's own variables come before
// the file's, looked up apart so that no match copies the file's list.
Variable noteText(const YamlTree &yaml, int match, const Variables &globals)
{
    const Variables locals = variables(yaml, yaml.value(match, "vars"));
    const QString replace = yaml.scalar(yaml.value(match, "replace"));
    static const QRegularExpression reference(QStringLiteral("\\{\\{\\s*([\\w.\\-]+)\\s*\\}\\}"));
    QString text;
    qsizetype done = 0;
    for (auto it = reference.globalMatch(replace); it.hasNext();) {
        const QRegularExpressionMatch found = it.next();
        QString name = found.captured(1);
        QString field;
        int known = locals.value(name, globals.value(name, YamlTree::None));
        if (known == YamlTree::None && name.contains(QLatin1Char('.'))) {
            // "{{form1.name}}": a field of the form variable form1.
            field = name.section(QLatin1Char('.'), 1);
            name = name.section(QLatin1Char('.'), 0, 0);
            known = locals.value(name, globals.value(name, YamlTree::None));
            if (yaml.scalar(yaml.value(known, "type")) != QLatin1String("form"))
                known = YamlTree::None;
        }
        if (known == YamlTree::None)
            continue; // not a variable: stays as written
        const Variable value = variable(yaml, known, field);
        if (!value.unsupported.isEmpty())
            return value;
        text += SnippetText::literal(replace.mid(done, found.capturedStart() - done));
        text += value.text;
        done = found.capturedEnd();
    }
    text += SnippetText::literal(replace.mid(done));
    // espanso's mark for where the cursor goes.
    text.replace(QLatin1String("$|$"), QLatin1String("{{cursor}}"));
    return {text, {}};
}

} // namespace

void EspansoReader::read(const QString &path, ImportBatch &batch)
{
    QByteArray bytes;
    if (!batch.readFile(path, &bytes) || !batch.checkUtf8(bytes))
        return;
    YamlTree yaml;
    if (!batch.loadYaml(bytes, &yaml))
        return;
    bytes.clear();
    const int root = yaml.root();
    const int matches = yaml.value(root, "matches");
    if (yaml.kind(matches) != YamlTree::Kind::Sequence) {
        batch.fail(tr("The file holds no \"matches:\" list."),
                   yaml.line(matches != YamlTree::None ? matches : root));
        return;
    }
    const Variables globals = variables(yaml, yaml.value(root, "global_vars"));
    const int master = batch.master(QFileInfo(path).completeBaseName());
    const QList<int> entries = yaml.children(matches);
    batch.converting(entries.size());
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const int match = entries.at(i);
        if (!batch.advance(i))
            return;
        if (yaml.kind(match) != YamlTree::Kind::Map) {
            batch.fail(tr("A match is not a list of keys."), yaml.line(match));
            return;
        }
        QString reason = unsupportedKind(yaml, match);
        const bool form = yaml.value(match, "form") != YamlTree::None;
        const Variable note = !reason.isEmpty() ? Variable()
                              : form            ? formText(yaml, match)
                                                : noteText(yaml, match, globals);
        if (reason.isEmpty())
            reason = note.unsupported;
        if (!reason.isEmpty()) {
            batch.skip(reason);
            continue;
        }
        const QStringList all = triggers(yaml, match);
        const QString trigger = all.value(0);
        for (qsizetype more = 1; more < all.size(); ++more)
            batch.skip(tr("triggers after the first of a match"));
        const QString name = trigger.isEmpty() ? yaml.scalar(yaml.value(match, "label")) : trigger;
        batch.addNote(master, name, 0, note.text, trigger);
    }
}
