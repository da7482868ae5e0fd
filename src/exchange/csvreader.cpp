#include "csvreader.h"

#include "importbatch.h"
#include "importprogress.h"

#include <algorithm>
#include <QFileInfo>

namespace {

enum Column { Name, Text, Master, HotKey, Columns };

// The column a header word names, or -1.
int headerColumn(const QString &word)
{
    const QString folded = word.trimmed().toCaseFolded();
    if (folded == QLatin1String("name") || folded == QLatin1String("note"))
        return Name;
    if (folded == QLatin1String("text"))
        return Text;
    if (folded == QLatin1String("master macro") || folded == QLatin1String("master"))
        return Master;
    if (folded == QLatin1String("hot key") || folded == QLatin1String("hotkey") ||
        folded == QLatin1String("shortcut"))
        return HotKey;
    return -1;
}

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
                      ImportProgress *progress)
{
    const QChar sep = separator(text);
    int current = 1;
    Row row{1, {}};
    QString field;
    qsizetype i = 0;
    const qsizetype size = text.size();
    const QStringView view(text);
    const auto endRow = [&] {
        row.fields.append(field);
        field.clear();
        rows->append(row);
        row = {current, {}};
        if (progress)
            progress->advance(i);
        return !progress || !progress->cancelled();
    };
    const auto cancelled = [&] {
        *error = tr("The import was cancelled.");
        *line = 0;
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
    if (!field.isEmpty() || !row.fields.isEmpty())
        endRow();
    return true;
}

void CsvReader::read(const QString &path, ImportBatch &batch)
{
    QList<Row> rows;
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
        if (!parse(text, &rows, &error, &line, batch.progress()))
            return batch.fail(error, line);
    }

    int column[Columns] = {Name, Text, Master, HotKey};
    if (!rows.isEmpty()) {
        int header[Columns] = {-1, -1, -1, -1};
        const QStringList &first = rows.first().fields;
        for (qsizetype i = 0; i < first.size(); ++i) {
            const int named = headerColumn(first.at(i));
            if (named >= 0 && header[named] < 0)
                header[named] = static_cast<int>(i);
        }
        if (header[Name] >= 0 && header[Text] >= 0) {
            std::copy(header, header + Columns, column);
            rows.removeFirst();
        }
    }
    const QString fileMaster = QFileInfo(path).completeBaseName();
    batch.converting(rows.size());
    for (qsizetype done = 0; done < rows.size(); ++done) {
        const Row &row = rows.at(done);
        if (!batch.advance(done))
            return;
        const auto value = [&row](int index) {
            return index >= 0 && index < row.fields.size() ? row.fields.at(index) : QString();
        };
        if (value(column[Name]).isEmpty() && value(column[Text]).isEmpty())
            continue; // a blank row
        const QString master = value(column[Master]).trimmed();
        const QString hotKey = value(column[HotKey]).trimmed();
        batch.addNote(batch.master(master.isEmpty() ? fileMaster : master), value(column[Name]),
                      hotKey.isEmpty() ? 0 : hotKeyCode(hotKey, batch), value(column[Text]));
    }
}
