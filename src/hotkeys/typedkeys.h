#pragma once

#include <cstdint>
#include <QList>
#include <QString>

// The key symbols that type a text, one per character in the order written: a character's named
// symbol where X has one, else its symbol in the Unicode range; Return for a line break (CR LF
// counts once), Tab for a tab. Other control characters are nobody's to type and are left out.
namespace TypedKeys {

constexpr uint32_t Return = 0xff0d;
constexpr uint32_t Tab = 0xff09;

QList<uint32_t> keysymsFor(const QString &text);
// The character a key symbol writes, 0 for none (also for the keypad's, which NumLock changes).
uint32_t characterOf(uint32_t keysym);

} // namespace TypedKeys
