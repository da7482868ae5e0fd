#include "storecheck.h"

#include "store/keycount.h"
#include "store/macrostore.h"

#include <algorithm>
#include <cstring>
#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryFile>

namespace {

struct Lines
{
    qsizetype keys = 0;          // lines that hold a key
    qsizetype openQuoteLine = 0; // the first line that ends inside quotes, from 1
    qsizetype headerLine = 0;    // the first section header without its closing bracket
    qsizetype commentLine = 0;   // the first line with a comment, which a write drops
    bool endsInLine = false;     // the last line has no line end
};

const char *find(const char *begin, const char *end, char c)
{
    return static_cast<const char *>(std::memchr(begin, c, end - begin));
}

enum class LineEnd { Plain, InQuotes, InComment };

// Quotes as the settings layer pairs them: a backslash takes the next character with it, and a
// semicolon outside quotes starts a comment. Qt carries quotes left open into the next line.
LineEnd howLineEnds(const char *begin, const char *end)
{
    bool inQuotes = false;
    if (!find(begin, end, ';')) { // the usual line: from quote to quote
        for (const char *quote = find(begin, end, '"'); quote; quote = find(quote + 1, end, '"')) {
            const char *escapes = quote;
            while (escapes > begin && escapes[-1] == '\\')
                --escapes;
            inQuotes ^= (quote - escapes) % 2 == 0;
        }
        return inQuotes ? LineEnd::InQuotes : LineEnd::Plain;
    }
    for (const char *c = begin; c < end; ++c) {
        if (*c == '\\')
            ++c;
        else if (*c == '"')
            inQuotes = !inQuotes;
        else if (*c == ';' && !inQuotes)
            return LineEnd::InComment;
    }
    return inQuotes ? LineEnd::InQuotes : LineEnd::Plain;
}

Lines scan(const QByteArray &bytes)
{
    Lines lines;
    const char *line = bytes.constData();
    const char *const end = line + bytes.size();
    for (qsizetype number = 1; line < end; ++number) {
        const char *lineEnd = find(line, end, '\n');
        lines.endsInLine = lineEnd == nullptr;
        if (lines.endsInLine)
            lineEnd = end;
        const char *first = line;
        while (first < lineEnd && (*first == ' ' || *first == '\t'))
            ++first;
        if (first < lineEnd && *first == '[') {
            if (lines.headerLine == 0 && !find(first, lineEnd, ']'))
                lines.headerLine = number;
        } else if (first < lineEnd && *first != ';' && find(first, lineEnd, '=')) {
            ++lines.keys;
        }
        if ((lines.openQuoteLine == 0 || lines.commentLine == 0) &&
            (find(line, lineEnd, '"') || find(line, lineEnd, ';'))) {
            const LineEnd ending = howLineEnds(line, lineEnd);
            if (lines.openQuoteLine == 0 && ending == LineEnd::InQuotes)
                lines.openQuoteLine = number;
            if (lines.commentLine == 0 && ending == LineEnd::InComment)
                lines.commentLine = number;
        }
        line = lineEnd + 1;
    }
    return lines;
}

bool isControl(char c)
{
    return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n';
}

// Where the first byte below 0x20 other than tab, CR and LF is, or -1. Eight bytes at a time: the
// test on the word may flag a byte that is none, never miss one.
qsizetype firstControl(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        quint64 word;
        std::memcpy(&word, data + at, 8);
        if (((word - 0x2020202020202020ULL) & ~word & 0x8080808080808080ULL) == 0)
            continue;
        const auto control = std::find_if(data + at, data + at + 8, isControl);
        if (control != data + at + 8)
            return control - data;
    }
    const auto control = std::find_if(data + at, data + bytes.size(), isControl);
    return control == data + bytes.size() ? -1 : control - data;
}

qsizetype firstInvalidLine(const QByteArray &bytes)
{
    const QList<QByteArray> lines = bytes.split('\n');
    const auto invalid = std::find_if(lines.cbegin(), lines.cend(),
                                      [](const QByteArray &line) { return !line.isValidUtf8(); });
    return invalid - lines.cbegin() + 1;
}

// The store's file is UTF-8, which cannot hold half of a surrogate pair; only a "\xd800" escape
// written by hand or by an older writer yields one.
bool holdsSurrogateEscapes(const QByteArray &bytes)
{
    // A byte at a time: several times faster than QByteArray::indexOf("\\x") here.
    const char *const end = bytes.constData() + bytes.size();
    for (const char *at = find(bytes.constData(), end, '\\'); at && end - at > 2;
         at = find(at + 1, end, '\\')) {
        if (at[1] == 'x' && (at[2] | 0x20) == 'd')
            return true;
    }
    return false;
}

bool holdsHalfACharacter(QSettings &store, const QStringList &keys)
{
    return std::any_of(keys.cbegin(), keys.cend(), [&store](const QString &key) {
        const QStringList texts = store.value(key).toStringList();
        return std::any_of(texts.cbegin(), texts.cend(), [](const QString &text) {
            return MacroStore::withoutLoneSurrogates(text) != text;
        });
    });
}

QString tr(const char *text)
{
    return QCoreApplication::translate("StoreCheck", text);
}

// The keys the settings layer read from the store's own file (not the fallback files beside it).
// Listing them parses every section, so that a slip in one shows in the status.
QStringList keysRead(QSettings &store)
{
    const bool fallbacks = store.fallbacksEnabled();
    store.setFallbacksEnabled(false);
    const QStringList keys = store.allKeys();
    store.setFallbacksEnabled(fallbacks);
    return keys;
}

// What the bytes show alone; `lines` gets the scan of them.
QString bytesFound(const QByteArray &bytes, Lines *lines)
{
    if (!bytes.isValidUtf8())
        return tr("it is not valid UTF-8 text (line %1 is the first that is not)")
            .arg(firstInvalidLine(bytes));
    const qsizetype control = firstControl(bytes);
    if (control >= 0)
        return bytes.count('\0') == bytes.size()
                   ? tr("it holds nothing but zero bytes")
                   : tr("line %1 holds zero bytes or other control characters")
                         .arg(bytes.left(control).count('\n') + 1);
    *lines = scan(bytes);
    if (lines->endsInLine)
        return tr("it ends in the middle of a line");
    if (lines->openQuoteLine != 0)
        return tr("line %1 has an unterminated quote").arg(lines->openQuoteLine);
    if (lines->headerLine != 0)
        return tr("line %1 is a section header without its closing bracket").arg(lines->headerLine);
    if (lines->commentLine != 0)
        return tr("line %1 holds a comment (after a semicolon), which is not kept when the store "
                  "is written")
            .arg(lines->commentLine);
    return {};
}

// Qt reads every key after a byte order mark, yet reports the mark before a section header as a
// slip: whether anything else slipped shows in a reading of the bytes without it.
bool onlyTheMarkSlipped(const QByteArray &marked, const QByteArray &bytes)
{
    if (marked.size() == bytes.size())
        return false;
    QTemporaryFile file;
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush())
        return false;
    QSettings unmarked(file.fileName(), QSettings::IniFormat);
    unmarked.allKeys();
    return unmarked.status() == QSettings::NoError;
}

} // namespace

QByteArray StoreCheck::withoutMark(const QByteArray &bytes)
{
    return bytes.startsWith(ByteOrderMark) ? bytes.sliced(3) : bytes;
}

QString StoreCheck::byteDamage(const QByteArray &marked)
{
    Lines lines;
    return bytesFound(withoutMark(marked), &lines);
}

QString StoreCheck::damage(const QByteArray &marked, QSettings &store,
                           std::optional<QStringList> *masters)
{
    const QByteArray bytes = withoutMark(marked);
    Lines lines;
    const QString found = bytesFound(bytes, &lines);
    if (!found.isEmpty())
        return found;
    const bool escapes = holdsSurrogateEscapes(bytes);
    // Where the bytes alone tell that every key is read, the settings layer need not list them.
    QStringList listed;
    if (!escapes && store.status() == QSettings::NoError &&
        KeyCount::inWrittenOrder(bytes, masters ? &listed : nullptr) == lines.keys) {
        if (masters)
            *masters = listed;
        return {};
    }
    const QStringList keys = keysRead(store);
    if (keys.size() != lines.keys)
        return tr("only %1 of its %2 entries could be read").arg(keys.size()).arg(lines.keys);
    if (store.status() != QSettings::NoError && !onlyTheMarkSlipped(marked, bytes))
        return tr("some lines could not be read");
    if (escapes && holdsHalfACharacter(store, keys))
        return tr("a text holds half of a character pair (an escape such as \\xd800), now read "
                  "as \uFFFD");
    return {};
}

bool StoreCheck::holdsKeys(const QByteArray &bytes, QSettings &store)
{
    const qsizetype keys = keysRead(store).size();
    if (bytes.isEmpty())
        return keys == 0;
    const Lines lines = scan(bytes);
    return !lines.endsInLine && lines.keys == keys;
}
