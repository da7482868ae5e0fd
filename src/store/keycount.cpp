#include "keycount.h"

#include "store/macrostore.h"

#include <algorithm>
#include <cstring>
#include <QChar>

namespace {

// Where the settings layer ignores the letter case of keys (set in CMake), it writes them in an
// order of its own: nothing is told from the bytes there.
constexpr bool KeysIgnoreCase = KEYQUILL_SETTINGS_KEYS_IGNORE_CASE;

// A key or section name as it stands in the file, spaces around it left out.
struct Name
{
    const char *begin = nullptr;
    const char *end = nullptr;
    bool general = false; // the section the settings layer names "General": no name at all
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The token of a name at `at` as the settings layer reads it: its length in bytes (0 where it is
// not spelled as the settings layer writes names: an escape it would read otherwise, a quote, a
// comment), its UTF-16 units in `units` (one or two) and their number in `count`.
int token(const char *at, const char *end, char16_t *units, int *count)
{
    const auto c = static_cast<unsigned char>(*at);
    *count = 1;
    if (c == '\\') {
        units[0] = u'/';
        return 1;
    }
    if (c == '%') {
        const bool wide = end - at > 1 && at[1] == 'U';
        const int digits = wide ? 4 : 2;
        const char *first = at + (wide ? 2 : 1);
        if (end - first < digits)
            return 0;
        int value = 0;
        for (int i = 0; i < digits; ++i) {
            const int digit = hexValue(first[i]);
            if (digit < 0)
                return 0;
            value = value * 16 + digit;
        }
        if (QChar::isSurrogate(char32_t(value)))
            return 0;
        units[0] = char16_t(value);
        return int(first - at) + digits;
    }
    if (c == '"' || c == ';' || c == '=')
        return 0;
    if (c < 0x80) {
        units[0] = c;
        return 1;
    }
    // Valid UTF-8, as the caller made sure.
    const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    if (end - at < length)
        return 0;
    char32_t point = c & (0x7F >> length);
    for (int i = 1; i < length; ++i)
        point = (point << 6) | (static_cast<unsigned char>(at[i]) & 0x3F);
    if (QChar::requiresSurrogates(point)) {
        units[0] = QChar::highSurrogate(point);
        units[1] = QChar::lowSurrogate(point);
        *count = 2;
    } else {
        units[0] = char16_t(point);
    }
    return length;
}

// Whether the name is plain and, where no '/' (a group separator) is allowed, holds none.
bool isPlain(const Name &name, bool slashAllowed)
{
    if (name.general)
        return true;
    for (const char *at = name.begin; at < name.end;) {
        const auto c = static_cast<unsigned char>(*at);
        if (c >= 0x80) { // a character of valid UTF-8: never a surrogate, never a slash
            at += c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            continue;
        }
        if (c != '%' && c != '\\' && c != '/' && c != '"' && c != ';') {
            ++at;
            continue;
        }
        char16_t units[2];
        int count = 0;
        const int length = token(at, name.end, units, &count);
        if (length == 0 || (!slashAllowed && units[0] == u'/'))
            return false;
        at += length;
    }
    return name.begin < name.end && name.end[-1] != '\\';
}

// The order of two plain names as the settings layer orders them (by UTF-16 units).
int compare(const Name &a, const Name &b)
{
    if (a.general || b.general)
        return int(b.general) - int(a.general);
    const auto [inA, inB] = std::mismatch(a.begin, a.end, b.begin, b.end);
    if (inA == a.end && inB == b.end)
        return 0;
    // Up to the last token that starts among the bytes they share, they read alike: back to an
    // escape the difference falls in, or to the first byte of a character.
    qsizetype from = inA - a.begin;
    for (qsizetype at = from - 1; at >= 0 && at >= from - 5; --at) {
        if (a.begin[at] != '%')
            continue;
        const bool wide = at + 1 < from && a.begin[at + 1] == 'U';
        if (at + 1 >= from || at + (wide ? 6 : 3) > from)
            from = at;
        break;
    }
    const auto continues = [](const char *at, const char *end) {
        return at < end && (static_cast<unsigned char>(*at) & 0xC0) == 0x80;
    };
    while (from > 0 && (continues(a.begin + from, a.end) || continues(b.begin + from, b.end)))
        --from;
    // A token at a time: the first that reads otherwise decides.
    const char *atA = a.begin + from;
    const char *atB = b.begin + from;
    char16_t unitsA[2];
    char16_t unitsB[2];
    int countA = 0;
    int countB = 0;
    while (atA < a.end && atB < b.end) {
        atA += token(atA, a.end, unitsA, &countA);
        atB += token(atB, b.end, unitsB, &countB);
        // A pair of surrogates differs from a single unit in its first one already.
        for (int i = 0; i < std::min(countA, countB); ++i) {
            if (unitsA[i] != unitsB[i])
                return unitsA[i] < unitsB[i] ? -1 : 1;
        }
    }
    return atA < a.end ? 1 : atB < b.end ? -1 : 0;
}

const char *find(const char *begin, const char *end, char c)
{
    return static_cast<const char *>(std::memchr(begin, c, end - begin));
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

Name trimmed(const char *begin, const char *end)
{
    while (begin < end && isBlank(*begin))
        ++begin;
    while (end > begin && isBlank(end[-1]))
        --end;
    return {begin, end};
}

// A backslash takes the character after it along: an odd run of them before `at` takes `at`.
bool escapes(const char *lineBegin, const char *at)
{
    qsizetype run = 0;
    while (at - run > lineBegin && at[-run - 1] == '\\')
        ++run;
    return run % 2 == 1;
}

QString decoded(const Name &name)
{
    QString text;
    text.reserve(name.end - name.begin);
    char16_t units[2];
    int count = 0;
    for (const char *at = name.begin; at < name.end;) {
        at += token(at, name.end, units, &count);
        text.append(QStringView(units, count));
    }
    return text;
}

// The first group of a plain key's name (up to its first '/'), empty where the key has none.
Name firstGroup(const Name &key)
{
    char16_t units[2];
    int count = 0;
    for (const char *at = key.begin; at < key.end;) {
        const char *start = at;
        at += token(at, key.end, units, &count);
        if (units[0] == u'/')
            return {key.begin, start};
    }
    return {};
}

Name sectionName(const char *bracket, const char *close)
{
    Name name = trimmed(bracket + 1, close);
    name.general = name.end - name.begin == 7 && qstrnicmp(name.begin, "general", 7) == 0;
    return name;
}

} // namespace

qsizetype KeyCount::inWrittenOrder(const QByteArray &bytes, QStringList *masters)
{
    // A lone carriage return ends a line for the settings layer.
    if (KeysIgnoreCase || bytes.contains('\r'))
        return -1;
    qsizetype keys = 0;
    Name section{nullptr, nullptr, true};
    Name lastSection; // the last one that held keys
    bool sectionHoldsKeys = false;
    Name lastKey;
    bool inMasters = false; // the section is MasterMacros
    QStringList groups;
    Name lastGroup;
    const char *const end = bytes.constData() + bytes.size();
    for (const char *line = bytes.constData(); line < end;) {
        const char *lineEnd = find(line, end, '\n');
        if (!lineEnd)
            lineEnd = end;
        // A line that runs on into the next one.
        if (escapes(line, lineEnd))
            return -1;
        const Name content = trimmed(line, lineEnd);
        line = lineEnd + 1;
        if (content.begin == content.end)
            continue;
        if (*content.begin == '[') {
            const char *close = find(content.begin, content.end, ']');
            if (!close)
                return -1;
            section = sectionName(content.begin, close);
            if (!isPlain(section, false))
                return -1;
            sectionHoldsKeys = false;
            inMasters =
                masters && !section.general && decoded(section) == MacroStore::MasterMacrosGroup;
            continue;
        }
        const char *equals = find(content.begin, content.end, '=');
        if (!equals || escapes(content.begin, equals))
            return -1;
        const Name key = trimmed(content.begin, equals);
        // A key of the "General" section with a '/' belongs to a section of its own.
        if (!isPlain(key, !section.general))
            return -1;
        if (!sectionHoldsKeys) {
            if (keys > 0 && compare(lastSection, section) >= 0)
                return -1;
            lastSection = section;
            sectionHoldsKeys = true;
        } else if (compare(lastKey, key) >= 0) {
            return -1;
        }
        lastKey = key;
        ++keys;
        // A section comes once, its keys in order: the keys of one group come together.
        if (inMasters) {
            const Name group = firstGroup(key);
            // The settings layer would list a group without a name.
            if (group.begin == key.begin && group.end == key.begin && group.begin)
                return -1;
            if (group.begin != group.end &&
                !std::equal(group.begin, group.end, lastGroup.begin, lastGroup.end)) {
                groups.append(decoded(group));
                lastGroup = group;
            }
        }
    }
    if (masters) {
        // Two spellings of one name may have come apart.
        std::sort(groups.begin(), groups.end());
        groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
        *masters = groups;
    }
    return keys;
}
