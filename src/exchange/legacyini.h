#pragma once

#include <QByteArray>
#include <QString>

// Master macro files as the older settings layer (Qt 5's INI writer without a codec) wrote
// them. That layer writes every character of a value from U+007F up as a "\x" escape of its
// UTF-16 units, and escapes a hex digit that follows such an escape, so that readers of that
// age, which take unescaped bytes as Latin-1, read the texts back exactly. Today's writer puts
// raw UTF-8 in the values instead; both readers understand the escaped form.
namespace LegacyIni {

// The INI text with every non-ASCII character escaped as described. Section and key names
// hold ASCII only (the settings layer %-encodes them), so every such character is in a value.
QByteArray escapeValues(const QByteArray &utf8Ini);

} // namespace LegacyIni
