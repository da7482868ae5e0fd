#include "macrostore.h"

#include <QKeySequence>
#include <QSettings>
#include <QVariant>

namespace MacroStore {

int buildCode(bool ctrl, bool alt, bool shift, int key)
{
    int code = 0;
    if (ctrl)
        code += CtrlBit;
    if (alt)
        code += AltBit;
    if (shift)
        code += ShiftBit;
    return code + key;
}

QString codeText(int code)
{
    if (code == 0)
        return QString();
    return QKeySequence(code, 0, 0, 0).toString(QKeySequence::NativeText);
}

int readCode(const QVariant &value)
{
    return value.toInt();
}

int readCode(const QSettings &settings)
{
    return readCode(settings.value(ShortcutKey, QString()));
}

QString readText(const QSettings &settings)
{
    const QVariant value = settings.value(TextKey, QString());
    // An unquoted comma in a file edited by hand makes the settings layer read a list of the
    // parts, each without the spaces around it; ", " puts back the usual spelling.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

QList<NoteCode> noteCodes(const QString &master)
{
    QSettings store;
    store.beginGroup(MasterMacrosGroup);
    store.beginGroup(master);
    store.beginGroup(MacrosGroup);
    const QStringList notes = store.childGroups();
    QList<NoteCode> result;
    result.reserve(notes.size());
    for (const QString &note : notes) {
        store.beginGroup(note);
        result.append({note, readCode(store)});
        store.endGroup();
    }
    return result;
}

bool isStorableName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

} // namespace MacroStore
