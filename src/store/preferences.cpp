#include "preferences.h"

#include "store/macrostore.h"
#include "store/storewrite.h"

#include <QSettings>

namespace {

const QString RestoreClipboardKey = QStringLiteral("restoreClipboard");
const QString TickLastLiveKey = QStringLiteral("tickLastLiveAtStart");
const QString ExpandPlaceholdersKey = QStringLiteral("expandPlaceholders");
const QString KeyboardTokenKey = QStringLiteral("keyboardToken");
const QString QuickPickKey = QStringLiteral("quickPickShortcut");
const QString StoreFolderKey = QStringLiteral("storeFolder");
// An array rather than one key per class: a window class may hold characters ('/', '\\') that
// the settings layer would read as group separators.
const QString PasteKeysArray = QStringLiteral("pasteKeys");
const QString WindowClassKey = QStringLiteral("windowClass");
const QString StrokeKey = QStringLiteral("stroke");
// Written only when it is not Ctrl+V, so files of earlier versions read the same.
const QString DefaultPasteKey = QStringLiteral("defaultPasteKey");

} // namespace

const QString Preferences::Group = QStringLiteral("Preferences");

Preferences Preferences::load()
{
    Preferences preferences;
    QSettings store;
    store.beginGroup(Group);
    preferences.m_restoreClipboard = store.value(RestoreClipboardKey, false).toBool();
    preferences.m_tickLastLiveAtStart = store.value(TickLastLiveKey, false).toBool();
    preferences.m_keyboardToken = store.value(KeyboardTokenKey).toString();
    preferences.m_quickPickShortcut = MacroStore::readCode(store.value(QuickPickKey));
    preferences.m_expandPlaceholders = store.value(ExpandPlaceholdersKey, false).toBool();
    preferences.m_storeFolder = store.value(StoreFolderKey).toString();
    const int count = store.beginReadArray(PasteKeysArray);
    for (int i = 0; i < count; ++i) {
        store.setArrayIndex(i);
        const QString windowClass = store.value(WindowClassKey).toString().trimmed();
        const int stroke = PasteStroke::fromText(store.value(StrokeKey).toString());
        if (!windowClass.isEmpty() && stroke != 0)
            preferences.m_pasteKeys.insert(windowClass, stroke);
    }
    store.endArray();
    const int defaultStroke = PasteStroke::fromText(store.value(DefaultPasteKey).toString());
    if (defaultStroke != 0)
        preferences.m_defaultPasteKey = defaultStroke;
    return preferences;
}

bool Preferences::save() const
{
    StoreWrite write({Group});
    QSettings &store = write.settings();
    // Only the array goes first (it may shrink); the group also keeps the last live master
    // macro, which is written apart from the preferences.
    store.beginGroup(Group);
    store.remove(PasteKeysArray);
    store.setValue(RestoreClipboardKey, m_restoreClipboard);
    store.setValue(TickLastLiveKey, m_tickLastLiveAtStart);
    // Off is no key at all, as before there was a quick pick.
    if (m_quickPickShortcut != 0)
        store.setValue(QuickPickKey, m_quickPickShortcut);
    else
        store.remove(QuickPickKey);
    store.setValue(ExpandPlaceholdersKey, m_expandPlaceholders);
    store.beginWriteArray(PasteKeysArray, static_cast<int>(m_pasteKeys.size()));
    int index = 0;
    for (auto it = m_pasteKeys.cbegin(); it != m_pasteKeys.cend(); ++it) {
        store.setArrayIndex(index++);
        store.setValue(WindowClassKey, it.key());
        store.setValue(StrokeKey, PasteStroke::text(it.value()));
    }
    store.endArray();
    if (m_defaultPasteKey == PasteStroke::CtrlV || PasteStroke::text(m_defaultPasteKey).isEmpty())
        store.remove(DefaultPasteKey);
    else
        store.setValue(DefaultPasteKey, PasteStroke::text(m_defaultPasteKey));
    store.endGroup();
    return write.commit();
}

bool Preferences::saveKeyboardToken(const QString &token)
{
    StoreWrite write({Group});
    write.settings().setValue(Group + QLatin1Char('/') + KeyboardTokenKey, token);
    return write.commit();
}

bool Preferences::saveStoreFolder(const QString &folder)
{
    StoreWrite write({Group});
    write.settings().setValue(Group + QLatin1Char('/') + StoreFolderKey, folder);
    return write.commit();
}
