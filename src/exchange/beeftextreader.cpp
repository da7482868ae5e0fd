#include "beeftextreader.h"

#include "core/snippettext.h"
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

// Notes that include each other deeper than this are never delivered whole: no deeper inlining.
constexpr int MaxDepth = 8;

bool isCombo(const QString &body)
{
    return body.startsWith(QLatin1String("combo:"));
}

// The kind of the first variable of a snippet that has no placeholder, or "".
QString unsupported(const QString &snippet)
{
    for (qsizetype at = snippet.indexOf(QLatin1String("#{")); at >= 0;) {
        const SnippetText::BeeftextVariable variable = SnippetText::beeftextVariableAt(snippet, at);
        if (variable.end < 0)
            break;
        if (!isCombo(variable.body) && SnippetText::beeftextPlaceholder(variable.body).isEmpty())
            return variable.body.section(QLatin1Char(':'), 0, 0);
        at = snippet.indexOf(QLatin1String("#{"), variable.end);
    }
    return {};
}

// The note texts of the combos. #{combo:KEYWORD} becomes {{note:NAME}} where the combo it names
// is a note of the same master macro, and that combo's text, taken in, where it is in another:
// a note can only include notes of its own master macro. What names no combo that came in, a
// loop of inclusions or an inclusion deeper than a note's may go stays {{note:...}}, counted.
class ComboTexts final
{
public:
    ComboTexts(const QList<Combo> &combos, const QHash<QString, int> &comboOfKeyword,
               ImportBatch &batch, qint64 budget)
        : m_combos(combos), m_comboOfKeyword(comboOfKeyword), m_batch(batch), m_budget(budget)
    {
    }

    // The text of a combo in its own master macro; `unresolved` tells of a #{combo:...} left as
    // {{note:...}}.
    QString text(int combo, bool *unresolved)
    {
        m_inside = {combo};
        return convert(combo, m_combos.at(combo).master, 0, unresolved);
    }

private:
    struct Taken
    {
        QString text;
        bool unresolved = false;
    };

    QString convert(int combo, int master, int depth, bool *unresolved)
    {
        const QString &snippet = m_combos.at(combo).snippet;
        QString text;
        qsizetype done = 0;
        for (qsizetype at = snippet.indexOf(QLatin1String("#{")); at >= 0;
             at = snippet.indexOf(QLatin1String("#{"), done)) {
            const SnippetText::BeeftextVariable variable =
                SnippetText::beeftextVariableAt(snippet, at);
            if (variable.end < 0)
                break; // an open brace to the end is text
            text += SnippetText::literal(snippet.mid(done, at - done));
            text += isCombo(variable.body)
                        ? included(variable.body.mid(6), master, depth, unresolved)
                        : SnippetText::beeftextPlaceholder(variable.body);
            done = variable.end;
        }
        return text + SnippetText::literal(snippet.mid(done));
    }

    QString included(const QString &keyword, int master, int depth, bool *unresolved)
    {
        const int target = m_comboOfKeyword.value(keyword, -1);
        if (target >= 0 && m_combos.at(target).master == master)
            return QStringLiteral("{{note:%1}}")
                .arg(m_batch.noteName(master, m_combos.at(target).note));
        const auto key = qMakePair(target, master);
        auto taken = m_taken.constFind(key);
        if (target >= 0 && taken == m_taken.cend() && !m_inside.contains(target) &&
            depth + 1 < MaxDepth) {
            Taken made;
            m_inside.append(target);
            made.text = convert(target, master, depth + 1, &made.unresolved);
            m_inside.removeLast();
            taken = m_taken.insert(key, made);
        }
        // Every text taken in counts against one budget: combos that name each other many
        // times over would otherwise multiply.
        if (taken != m_taken.cend() && taken->text.size() <= m_budget) {
            m_budget -= taken->text.size();
            *unresolved = *unresolved || taken->unresolved;
            return taken->text;
        }
        *unresolved = true;
        return QStringLiteral("{{note:%1}}").arg(keyword);
    }

    const QList<Combo> &m_combos;
    const QHash<QString, int> &m_comboOfKeyword;
    ImportBatch &m_batch;
    qint64 m_budget;
    QList<int> m_inside; // the combos being taken in, outermost first
    QHash<QPair<int, int>, Taken> m_taken;
};

} // namespace

namespace {

// The combos of the file, each made a note without its text yet, so that a text can name any
// other, before it or after it. False when the file is no combo file (failed then).
bool readCombos(const QString &path, ImportBatch &batch, QList<Combo> *combos,
                QHash<QString, int> *comboOfKeyword)
{
    QJsonDocument document;
    if (!JsonFile::read(path, batch, &document))
        return false;
    const QJsonObject root = document.object();
    if (!root.value(QLatin1String("combos")).isArray()) {
        batch.fail(BeeftextReader::tr("The file holds no \"combos\" list."), 1);
        return false;
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
    for (const auto &value : root.value(QLatin1String("combos")).toArray()) {
        const QJsonObject combo = value.toObject();
        if (!value.isObject() || !combo.value(snippetKey).isString()) {
            batch.skip(BeeftextReader::tr("entries of \"combos\" that are not combos"));
            continue;
        }
        const QString keyword = combo.value(keywordKey).toString();
        const QString snippet = combo.value(snippetKey).toString();
        const QString variable = unsupported(snippet);
        if (!variable.isEmpty()) {
            batch.skip(BeeftextReader::tr("combos using #{%1}").arg(variable));
            continue;
        }
        const QString group = groupName.value(combo.value(QLatin1String("group")).toString());
        const int master = batch.master(group.isEmpty() ? fileMaster : group);
        const QString name = combo.value(QLatin1String("name")).toString();
        const int note =
            batch.addNote(master, name.isEmpty() ? keyword : name, 0, QString(), keyword);
        comboOfKeyword->insert(keyword, static_cast<int>(combos->size()));
        combos->append({master, note, snippet});
    }
    return true;
}

} // namespace

void BeeftextReader::read(const QString &path, ImportBatch &batch)
{
    // The parsed file is let go before the texts are made: only one of the two is held at once.
    QList<Combo> combos;
    QHash<QString, int> comboOfKeyword;
    if (!readCombos(path, batch, &combos, &comboOfKeyword))
        return;
    ComboTexts texts(combos, comboOfKeyword, batch, batch.limits().fileBytes);
    batch.converting(combos.size());
    for (qsizetype i = 0; i < combos.size(); ++i) {
        if (!batch.advance(i))
            return;
        bool unresolved = false;
        const QString text = texts.text(static_cast<int>(i), &unresolved);
        batch.setText(combos.at(i).master, combos.at(i).note, text);
        if (unresolved)
            batch.skip(tr("combos naming a combo that cannot be taken in (#{combo:...} kept "
                          "as {{note:...}})"));
    }
}
