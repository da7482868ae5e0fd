#include "legacyini.h"

namespace LegacyIni {

namespace {

bool isHexDigit(char16_t unit)
{
    return (unit >= u'0' && unit <= u'9') || (unit >= u'a' && unit <= u'f') ||
           (unit >= u'A' && unit <= u'F');
}

} // namespace

QByteArray escapeValues(const QByteArray &utf8Ini)
{
    const QString text = QString::fromUtf8(utf8Ini);
    QByteArray result;
    result.reserve(utf8Ini.size() + utf8Ini.size() / 4);
    // "\xe9" followed by "1" would read as U+0E91: such a digit is escaped too, and so are the
    // digits after it, as the older writer does.
    bool escapeNextIfDigit = false;
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit >= 0x7f || (escapeNextIfDigit && isHexDigit(unit))) {
            result += "\\x" + QByteArray::number(unit, 16);
            escapeNextIfDigit = true;
            continue;
        }
        escapeNextIfDigit = false;
        result += char(unit);
    }
    return result;
}

} // namespace LegacyIni
