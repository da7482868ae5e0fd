#include "importbatch.h"

#include "importfile.h"
#include "importprogress.h"

#include <algorithm>
#include <QLocale>
#include <QStringDecoder>

namespace {

// The key part of a code for a key the note editor offers, or 0.
int offeredKey(const QString &key)
{
    const QString upper = key.toUpper();
    if (upper.size() == 1) {
        const QChar c = upper.at(0);
        if ((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
            (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
            return c.unicode();
        return 0;
    }
    if (upper.startsWith(QLatin1Char('F'))) {
        bool ok = false;
        const int number = upper.mid(1).toInt(&ok);
        if (ok && number >= 1 && number <= 12 && !upper.mid(1).startsWith(QLatin1Char('0')))
            return static_cast<int>(Qt::Key_F1) + number - 1;
    }
    return 0;
}

} // namespace

QString ImportBatch::storableName(QString name)
{
    // Look-alikes keep the name readable where the settings layer would split it into groups.
    name.replace(QLatin1Char('/'), QChar(0x2215)).replace(QLatin1Char('\\'), QChar(0x2216));
    return name;
}

int ImportBatch::master(const QString &name)
{
    const QString storable = storableName(name);
    const auto found = m_index.constFind(storable);
    if (found != m_index.cend())
        return found.value();
    Building building;
    building.master.name = storable;
    m_masters.append(building);
    m_index.insert(storable, m_masters.size() - 1);
    return m_masters.size() - 1;
}

int ImportBatch::addNote(int master, const QString &name, int code, const QString &text,
                         const QString &abbreviation)
{
    Building &building = m_masters[master];
    QString base = name;
    if (base.trimmed().isEmpty()) {
        // A snippet without a name is known by the start of its text.
        base = text.section(QLatin1Char('\n'), 0, 0).left(40).trimmed();
        if (base.isEmpty())
            base = tr("Note");
    }
    base = storableName(base);
    QString unique = base;
    if (building.names.contains(unique)) {
        int &next = building.nextNumber[base];
        next = std::max(next, 2);
        do
            unique = QStringLiteral("%1 (%2)").arg(base).arg(next++);
        while (building.names.contains(unique));
    }
    if (unique != name)
        ++m_summary.renamedNotes;
    building.names.insert(unique);
    if (code != 0) {
        if (building.codes.contains(code)) {
            skip(tr("hot keys another note of the Master Macro holds"));
            code = 0;
        } else {
            building.codes.insert(code);
            ++m_summary.hotKeysKept;
        }
    }
    building.master.notes.append({unique, code, text});
    building.abbreviations.append(abbreviation);
    if (!abbreviation.isEmpty())
        ++m_summary.abbreviations;
    return building.master.notes.size() - 1;
}

QString ImportBatch::noteName(int master, int note) const
{
    return m_masters.at(master).master.notes.at(note).name;
}

void ImportBatch::setText(int master, int note, const QString &text)
{
    m_masters[master].master.notes[note].text = text;
}

void ImportBatch::clearNotes()
{
    m_masters.clear();
    m_index.clear();
    m_summary = ImportSummary();
}

void ImportBatch::skip(const QString &reason)
{
    ++m_summary.skipped[reason];
}

void ImportBatch::keptAsWritten(const QString &what)
{
    ++m_summary.asWritten[what];
}

void ImportBatch::fail(const QString &message, int line)
{
    m_summary.error = message;
    m_summary.errorLine = line;
}

int ImportBatch::offeredCode(const QStringList &modifiers, const QString &key)
{
    if (key.isEmpty())
        return 0;
    bool ctrl = false;
    bool alt = false;
    bool shift = false;
    bool other = false; // Super, Hyper, Meta, AltGr: no note holds them
    for (const QString &written : modifiers) {
        QString modifier = written.trimmed().toCaseFolded();
        if (modifier.startsWith(QLatin1Char('<')) && modifier.endsWith(QLatin1Char('>')))
            modifier = modifier.mid(1, modifier.size() - 2);
        if (modifier == QLatin1String("ctrl") || modifier == QLatin1String("control"))
            ctrl = true;
        else if (modifier == QLatin1String("alt"))
            alt = true;
        else if (modifier == QLatin1String("shift"))
            shift = true;
        else
            other = true;
    }
    const int keyCode = offeredKey(key);
    // A key without Ctrl, Alt or Shift would be taken from every program: never a hot key here.
    if (keyCode == 0 || other || !(ctrl || alt || shift)) {
        skip(tr("hot keys Keyquill does not offer"));
        return 0;
    }
    return MacroStore::buildCode(ctrl, alt, shift, keyCode);
}

QList<MacroStore::Master> ImportBatch::masters() const
{
    QList<MacroStore::Master> masters;
    for (const Building &building : m_masters) {
        if (!building.master.notes.isEmpty())
            masters.append(building.master);
    }
    return masters;
}

QList<QStringList> ImportBatch::abbreviations() const
{
    QList<QStringList> abbreviations;
    for (const Building &building : m_masters) {
        if (!building.master.notes.isEmpty())
            abbreviations.append(building.abbreviations);
    }
    return abbreviations;
}

ImportSummary ImportBatch::summary() const
{
    ImportSummary summary = m_summary;
    for (const Building &building : m_masters) {
        if (!building.master.notes.isEmpty()) {
            ++summary.masters;
            summary.notes += building.master.notes.size();
        }
    }
    return summary;
}

bool ImportBatch::cancelled() const
{
    return m_progress && m_progress->cancelled();
}

void ImportBatch::converting(qsizetype items)
{
    if (m_progress)
        m_progress->start(ImportProgress::Stage::Converting, items);
}

bool ImportBatch::advance(qsizetype done)
{
    if (m_progress)
        m_progress->advance(done);
    if (!cancelled())
        return true;
    fail(tr("The import was cancelled."), 0);
    return false;
}

namespace {

QString dataSize(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 0);
}

} // namespace

bool ImportBatch::readFile(const QString &path, QByteArray *bytes, bool *notRegular)
{
    QString error;
    const qint64 left = std::max<qint64>(0, m_limits.fileBytes - m_bytesRead);
    switch (ImportFile::read(path, left, m_progress, bytes, &error)) {
    case ImportFile::Outcome::Read:
        m_bytesRead += bytes->size();
        return true;
    case ImportFile::Outcome::NotRegular:
        if (notRegular) {
            *notRegular = true;
            return false;
        }
        fail(tr("It is not a regular file (it is a pipe, a device or a socket), so it was not "
                "read."),
             0);
        return false;
    case ImportFile::Outcome::TooLarge:
        fail(m_bytesRead > 0 ? tr("The files are larger than %1 together, the most Keyquill "
                                  "imports at once.")
                                   .arg(dataSize(m_limits.fileBytes))
                             : tr("The file is larger than %1, the most Keyquill imports at once.")
                                   .arg(dataSize(m_limits.fileBytes)),
             0);
        return false;
    case ImportFile::Outcome::Cancelled:
        fail(tr("The import was cancelled."), 0);
        return false;
    case ImportFile::Outcome::Failed:
        break;
    }
    fail(tr("The file cannot be read (%1).").arg(error), 0);
    return false;
}

bool ImportBatch::decodeUtf8(const QByteArray &bytes, QString *text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    *text = decoder(bytes);
    if (!decoder.hasError()) {
        if (text->startsWith(QChar(0xfeff)))
            text->remove(0, 1);
        return true;
    }
    text->clear();
    failUtf8(bytes);
    return false;
}

bool ImportBatch::checkUtf8(const QByteArray &bytes)
{
    constexpr qsizetype Piece = 1 << 20;
    for (qsizetype at = 0; at < bytes.size();) {
        // A piece ends before an ASCII byte, which is never inside a character.
        qsizetype end = std::min(at + Piece, bytes.size());
        while (end < bytes.size() && static_cast<uchar>(bytes.at(end)) >= 0x80)
            ++end;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = decoder(QByteArrayView(bytes).sliced(at, end - at));
        if (decoder.hasError()) {
            failUtf8(bytes);
            return false;
        }
        at = end;
    }
    return true;
}

void ImportBatch::failUtf8(const QByteArray &bytes)
{
    // The first line that does not decode on its own, for the message.
    int line = 1;
    for (qsizetype at = 0; at < bytes.size(); ++line) {
        qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            end = bytes.size();
        QStringDecoder check(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = check(QByteArrayView(bytes).sliced(at, end - at));
        if (check.hasError())
            break;
        at = end + 1;
    }
    fail(tr("The file is not UTF-8 text."), line);
}

bool ImportBatch::loadYaml(const QByteArray &bytes, YamlTree *tree)
{
    if (m_progress)
        m_progress->start(ImportProgress::Stage::Parsing, bytes.size());
    switch (tree->load(bytes, m_limits.yaml, m_progress)) {
    case YamlTree::Outcome::Loaded:
        return true;
    case YamlTree::Outcome::TooManyItems:
        fail(tr("The file holds more than %L1 YAML items (keys, values and list entries), the "
                "most Keyquill reads.")
                 .arg(m_limits.yaml.items),
             tree->errorLine());
        break;
    case YamlTree::Outcome::TooMuchRepeated:
        fail(tr("Its aliases (*name) repeat more than %1 of text and items, the most Keyquill "
                "takes through aliases.")
                 .arg(dataSize(m_limits.yaml.repeated)),
             tree->errorLine());
        break;
    case YamlTree::Outcome::TooDeep:
        fail(tr("Its lists and maps nest deeper than Keyquill reads."), tree->errorLine());
        break;
    case YamlTree::Outcome::Cancelled:
        fail(tr("The import was cancelled."), 0);
        break;
    case YamlTree::Outcome::Broken:
        fail(tr("The file is not valid YAML: %1.").arg(tree->error()), tree->errorLine());
        break;
    }
    return false;
}

int ImportBatch::lineAt(const QByteArray &bytes, qsizetype offset)
{
    const qsizetype end = std::clamp<qsizetype>(offset, 0, bytes.size());
    return static_cast<int>(QByteArrayView(bytes).first(end).count('\n')) + 1;
}
