#include "typedkeys.h"

#include <xkbcommon/xkbcommon.h>

QList<uint32_t> TypedKeys::keysymsFor(const QString &text)
{
    QList<uint32_t> keysyms;
    const QList<uint> characters = text.toUcs4(); // a pair of surrogates is one character
    keysyms.reserve(characters.size());
    for (qsizetype i = 0; i < characters.size(); ++i) {
        const uint c = characters.at(i);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && characters.value(i + 1) == '\n')
                ++i;
            keysyms.append(Return);
        } else if (c == '\t') {
            keysyms.append(Tab);
        } else if (c >= 0x20 && !(c >= 0x7f && c < 0xa0) && c <= 0x10ffff) {
            const uint32_t keysym = xkb_utf32_to_keysym(c);
            if (keysym != XKB_KEY_NoSymbol)
                keysyms.append(keysym);
        }
    }
    return keysyms;
}

uint32_t TypedKeys::characterOf(uint32_t keysym)
{
    if (keysym >= XKB_KEY_KP_Space && keysym <= XKB_KEY_KP_9)
        return 0;
    const uint32_t c = xkb_keysym_to_utf32(keysym);
    return c >= 0x20 && c != 0x7f ? c : 0;
}
