#include "beeftextreader.h"

#include "importbatch.h"
#include "jsonfile.h"

#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>

namespace {

struct Combo
{
    int master = 0;
    int note = 0;
    QString snippet;
};

// One #{...} variable: its name and parameter, with the parameter's "\}" and "\\" resolved.
struct Variable
{
    QString body;
    qsizetype end = -1; // just past the closing brace; -1 when there is none
};

Variable variableAt(const QString &text, qsizetype start)
{
    Variable variable;
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

// The placeholder a variable becomes, or "" when there is none.
QString placeholder(const QString &body, const QHash<QString, QString> &noteOfKeyword)
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
    if (kind == QLatin1String("combo"))
        return QStringLiteral("{{note:%1}}").arg(noteOfKeyword.value(parameter, parameter));
    return {};
}

// The note text of a snippet; `unsupported` gets the first variable that has no placeholder.
QString noteText(const QString &snippet, const QHash<QString, QString> &noteOfKeyword,
                 QString *unsupported)
{
    QString text;
    qsizetype done = 0;
    for (qsizetype at = snippet.indexOf(QLatin1String("#{")); at >= 0;
         at = snippet.indexOf(QLatin1String("#{"), done)) {
        const Variable variable = variableAt(snippet, at);
        if (variable.end < 0)
            break; // an open brace to the end is text
        const QString value = placeholder(variable.body, noteOfKeyword);
        if (value.isEmpty()) {
            *unsupported = variable.body.section(QLatin1Char(':'), 0, 0);
            return {};
        }
        text += ImportBatch::literal(snippet.mid(done, at - done)) + value;
        done = variable.end;
    }
    return text + ImportBatch::literal(snippet.mid(done));
}

} // namespace

void BeeftextReader::read(const QString &path, ImportBatch &batch)
{
    QJsonDocument document;
    if (!JsonFile::read(path, batch, &document))
        return;
    const QJsonObject root = document.object();
    if (!root.value(QLatin1String("combos")).isArray()) {
        batch.fail(tr("The file holds no \"combos\" list."), 1);
        return;
    }
    // Files before format version 2 name the keyword and the snippet differently.
    const bool old = root.value(QLatin1String("fileFormatVersion")).toInt(2) < 2;
    const QString keywordKey = old ? QStringLiteral("comboText") : QStringLiteral("keyword");
    const QString snippetKey = old ? QStringLiteral("substitutionText") : QStringLiteral("snippet");

    QHash<QString, QString> groupName;
    for (const auto &group : root.value(QLatin1String("groups")).toArray()) {
        const QJsonObject object = group.toObject();
        groupName.insert(object.value(QLatin1String("uuid")).toString(),
                         object.value(QLatin1String("name")).toString());
    }
    const QString fileMaster = QFileInfo(path).completeBaseName();
    // Every note named first, so that a text can name any other, before it or after it.
    QList<Combo> combos;
    QHash<QString, QString> noteOfKeyword;
    for (const auto &value : root.value(QLatin1String("combos")).toArray()) {
        const QJsonObject combo = value.toObject();
        const QString keyword = combo.value(keywordKey).toString();
        const QString snippet = combo.value(snippetKey).toString();
        QString unsupported;
        noteText(snippet, noteOfKeyword, &unsupported);
        if (!unsupported.isEmpty()) {
            batch.skip(tr("combos using #{%1}").arg(unsupported));
            continue;
        }
        const QString group = groupName.value(combo.value(QLatin1String("group")).toString());
        const int master = batch.master(group.isEmpty() ? fileMaster : group);
        const QString name = combo.value(QLatin1String("name")).toString();
        const int note = batch.addNote(master, name.isEmpty() ? keyword : name, 0, QString());
        noteOfKeyword.insert(keyword, batch.noteName(master, note));
        combos.append({master, note, snippet});
    }
    for (const Combo &combo : combos) {
        QString unsupported;
        batch.setText(combo.master, combo.note,
                      noteText(combo.snippet, noteOfKeyword, &unsupported));
    }
}
