#pragma once

#include <QHash>
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

    // Window class -> paste stroke (PasteKeyTable's codes); these override the built-in table.
    QHash<QString, int> pasteKeys() const { return m_pasteKeys; }
    void setPasteKeys(const QHash<QString, int> &pasteKeys) { m_pasteKeys = pasteKeys; }

    // After a paste, put back what the clipboard held before it. Off unless the user asks.
    bool restoreClipboard() const { return m_restoreClipboard; }
    void setRestoreClipboard(bool restore) { m_restoreClipboard = restore; }

    // At start, tick again the master macro that was live last (LastLiveMaster). Off unless the
    // user asks: the start otherwise leaves every master macro unticked.
    bool tickLastLiveAtStart() const { return m_tickLastLiveAtStart; }
    void setTickLastLiveAtStart(bool tick) { m_tickLastLiveAtStart = tick; }

private:
    QHash<QString, int> m_pasteKeys;
    bool m_restoreClipboard = false;
    bool m_tickLastLiveAtStart = false;
};
