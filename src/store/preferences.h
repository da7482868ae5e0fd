#pragma once

#include "core/pastestroke.h"

#include <QHash>
#include <QList>
#include <QString>

// The user's choices about how the program behaves, kept in the top-level group `Preferences`
// of the macro store's settings file, beside (never inside) `MasterMacros`. Export, import and
// the report read only the master macros, so they never see these.
class Preferences final
{
public:
    static const QString Group;

    // The stored preferences; defaults for whatever is missing or unreadable.
    static Preferences load();
    // Writes them all at once; false when the disk refused (the store then reads as before).
    bool save() const;

    // Window class -> paste stroke (PasteStroke); these override the program's built-in table.
    QHash<QString, int> pasteKeys() const { return m_pasteKeys; }
    void setPasteKeys(const QHash<QString, int> &pasteKeys) { m_pasteKeys = pasteKeys; }
    // The stroke (or Type) for programs that neither table names; Ctrl+V unless the user chose.
    int defaultPasteKey() const { return m_defaultPasteKey; }
    void setDefaultPasteKey(int stroke) { m_defaultPasteKey = stroke; }

    // After a paste, put back what the clipboard held before it. Off unless the user asks.
    bool restoreClipboard() const { return m_restoreClipboard; }
    void setRestoreClipboard(bool restore) { m_restoreClipboard = restore; }

    // At start, tick again the master macro that was live last (LastLiveMaster). Off unless the
    // user asks: the start otherwise leaves every master macro unticked.
    bool tickLastLiveAtStart() const { return m_tickLastLiveAtStart; }
    void setTickLastLiveAtStart(bool tick) { m_tickLastLiveAtStart = tick; }

    // Fill in the placeholders of note texts ({{date}}, {{clipboard}}, ...) as they are
    // delivered. Off unless the user asks: texts then go out exactly as stored.
    bool expandPlaceholders() const { return m_expandPlaceholders; }
    void setExpandPlaceholders(bool expand) { m_expandPlaceholders = expand; }

    // What the desktop gave the last time it let the program send keys (the remote desktop
    // portal's restore token on Wayland), so that it need not ask again. Kept apart: save()
    // leaves it alone, as a paste may renew it while the preferences are being edited.
    QString keyboardToken() const { return m_keyboardToken; }
    static bool saveKeyboardToken(const QString &token);

    // The hot key of "Pick a note" (a code as a note's shortcut holds); 0, the default, for none.
    int quickPickShortcut() const { return m_quickPickShortcut; }
    void setQuickPickShortcut(int code) { m_quickPickShortcut = code; }
    // The folder the master macros live in (MacroStore::chosenFile()), "" for this settings
    // file. Kept apart: it changes only once the store there has been taken on.
    QString storeFolder() const { return m_storeFolder; }
    static bool saveStoreFolder(const QString &folder);

private:
    QHash<QString, int> m_pasteKeys;
    int m_defaultPasteKey = PasteStroke::CtrlV;
    bool m_restoreClipboard = false;
    bool m_tickLastLiveAtStart = false;
    bool m_expandPlaceholders = false;
    QString m_keyboardToken;
    int m_quickPickShortcut = 0;
    QString m_storeFolder;
};
