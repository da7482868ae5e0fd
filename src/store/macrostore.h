#pragma once

#include <QList>
#include <QString>

class QSettings;
class QVariant;

// Layout of the macro store: MasterMacros/<master>/description and
// MasterMacros/<master>/Macros/<note>/{text,shortcut}, in the native settings.
namespace MacroStore {

inline const QString MasterMacrosGroup = QStringLiteral("MasterMacros");
inline const QString MacrosGroup = QStringLiteral("Macros");
inline const QString TextKey = QStringLiteral("text");
inline const QString ShortcutKey = QStringLiteral("shortcut");
inline const QString DescriptionKey = QStringLiteral("description");

// Hot-key code: a Qt key OR-ed with the modifier bits below; 0 means no hot key.
constexpr int ShiftBit = 0x02000000;
constexpr int CtrlBit = 0x04000000;
constexpr int AltBit = 0x08000000;
constexpr int KeyMask = static_cast<int>(0xF1FFFFFFu);

int buildCode(bool ctrl, bool alt, bool shift, int key);
inline bool hasCtrl(int code)
{
    return (code & CtrlBit) != 0;
}
inline bool hasAlt(int code)
{
    return (code & AltBit) != 0;
}
inline bool hasShift(int code)
{
    return (code & ShiftBit) != 0;
}
inline int keyPart(int code)
{
    return code & KeyMask;
}

// The text the tree, the report and the editor show for a code ("" for 0).
QString codeText(int code);

// Reading defaults: a missing, empty or non-numeric shortcut reads as 0; a missing text as "".
int readCode(const QVariant &value);
int readCode(const QSettings &settings);
QString readText(const QSettings &settings);

// The notes of a master macro with their stored codes, in the store's order.
struct NoteCode
{
    QString name;
    int code = 0;
};
QList<NoteCode> noteCodes(const QString &master);

// Names the settings layer would split into nested groups.
bool isStorableName(const QString &name);

} // namespace MacroStore
