#include "csvreader.h"

#include "importbatch.h"
#include "importprogress.h"

#include <memory>
#include <QFileInfo>

namespace {

int hotKeyCode(const QString &written, ImportBatch &batch)
{
    QStringList modifiers = written.split(QLatin1Char('+'));
    const QString key = modifiers.takeLast().trimmed();
    return batch.offeredCode(modifiers, key);
}

} // namespace

QChar CsvReader::separator(const QString &text)
{
    // Whichever of the two the first row holds more of, outside quotes.
    int commas = 0;
    int semicolons = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('\n'))
            break;
        else if (!quoted && c == QLatin1Char(','))
            ++commas;
        else if (!quoted && c == QLatin1Char(';'))
            ++semicolons;
    }
    return semicolons > commas ? QLatin1Char(';') : QLatin1Char(',');
}

bool CsvReader::parse(const QString &text, QList<Row> *rows, QString *error, int *line,
                      ImportProgress *progress, qsizetype maxRows)
{
    const QChar sep = separator(text);
    int current = 1;
    Row row{1, {}};
    QString field;
    qsizetype i = 0;
    const qsizetype size = text.size();
    const QStringView view(text);
    bool tooMany = false;
    const auto endRow = [&] {
        if (rows->size() >= maxRows) {
            tooMany = true;
            return false;
        }
        row.fields.append(field);
        field.clear();
        rows->append(row);
        row = {current, {}};
        if (progress)
            progress->advance(i);
        return !progress || !progress->cancelled();
    };
    const auto cancelled = [&] {
        *error = tooMany ? tr("The file holds more than %L1 rows, the most Keyquill imports at "
                              "once.")
                               .arg(maxRows)
                         : tr("The import was cancelled.");
        *line = tooMany ? row.line : 0;
        return false;
    };
    // Runs of plain characters are taken a slice at a time.
    while (i < size) {
        QChar c = text.at(i);
        if (c == QLatin1Char('"') && field.isEmpty()) {
            const int opened = current;
            for (++i;;) {
                qsizetype stop = i;
                while (stop < size && text.at(stop) != QLatin1Char('"') &&
                       text.at(stop) != QLatin1Char('\r')) {
                    if (text.at(stop) == QLatin1Char('\n'))
                        ++current;
                    ++stop;
                }
                field += view.sliced(i, stop - i);
                i = stop;
                if (i >= size) {
                    *error = tr("A quoted field is not closed.");
                    *line = opened;
                    return false;
                }
                c = text.at(i);
                if (c == QLatin1Char('\r')) {
                    // A line break inside a field is kept as "\n".
                    if (i + 1 >= size || text.at(i + 1) != QLatin1Char('\n'))
                        field += c;
                    ++i;
                } else if (i + 1 < size && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    i += 2;
                } else {
                    break;
                }
            }
            ++i;
            if (i < size && text.at(i) != sep && text.at(i) != QLatin1Char('\r') &&
                text.at(i) != QLatin1Char('\n')) {
                *error = tr("Text follows a closing quote.");
                *line = current;
                return false;
            }
            continue;
        }
        if (c == sep) {
            row.fields.append(field);
            field.clear();
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            ++current;
            if (!endRow())
                return cancelled();
        } else {
            qsizetype stop = i + 1;
            while (stop < size && text.at(stop) != sep && text.at(stop) != QLatin1Char('\n') &&
                   text.at(stop) != QLatin1Char('\r'))
                ++stop;
            field += view.sliced(i, stop - i);
            i = stop;
            continue;
        }
        ++i;
    }
    if ((!field.isEmpty() || !row.fields.isEmpty()) && !endRow())
        return cancelled();
    return true;
}

void CsvReader::read(const QString &path, ImportBatch &batch)
{
    auto table = std::make_shared<CsvTable>();
    {
        QByteArray bytes;
        QString text;
        if (!batch.readFile(path, &bytes) || !batch.decodeUtf8(bytes, &text))
            return;
        bytes.clear();
        if (batch.progress())
            batch.progress()->start(ImportProgress::Stage::Parsing, text.size());
        QString error;
        int line = 0;
        if (!parse(text, &table->rows, &error, &line, batch.progress(), batch.limits().rows))
            return batch.fail(error, line);
    }
    table->fileMaster = QFileInfo(path).completeBaseName();
    table->layout = CsvLayout::of(table->firstRows(CsvLayout::SampleRows));
    batch.setTable(table);
    convert(batch);
}

void CsvReader::convert(ImportBatch &batch)
{
    batch.clearNotes();
    const CsvTable &table = *batch.table();
    using Role = CsvLayout::Role;
    const CsvLayout &layout = table.layout;
    const int name = layout.column(Role::Name);
    const int text = layout.column(Role::Text);
    const int master = layout.column(Role::Master);
    const int hotKey = layout.column(Role::HotKey);
    const int abbreviation = layout.column(Role::Abbreviation);
    if (text < 0)
        return;
    const qsizetype first = layout.header ? 1 : 0;
    batch.converting(table.rows.size() - first);
    for (qsizetype done = first; done < table.rows.size(); ++done) {
        const Row &row = table.rows.at(done);
        if (!batch.advance(done - first))
            return;
        const auto value = [&row](int index) {
            return index >= 0 && index < row.fields.size() ? row.fields.at(index) : QString();
        };
        const QString trigger = value(abbreviation).trimmed();
        const QString noteName = value(name).isEmpty() ? trigger : value(name);
        if (noteName.isEmpty() && value(text).isEmpty())
            continue; // a blank row
        const QString masterName = value(master).trimmed();
        const QString keys = value(hotKey).trimmed();
        batch.addNote(batch.master(masterName.isEmpty() ? table.fileMaster : masterName), noteName,
                      keys.isEmpty() ? 0 : hotKeyCode(keys, batch), value(text), trigger);
    }
}
