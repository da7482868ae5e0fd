#pragma once

#include <QString>

class ClipboardAccess;

// Tells the user's clipboard from a note's text of ours: {{clipboard}} must never bring back a
// text Keyquill put there itself, also for a press while a paste is on its way.
class OwnClipboard final
{
public:
    explicit OwnClipboard(ClipboardAccess &clipboard) : m_clipboard(clipboard) {}

    // What the user has on the clipboard ("" for nothing): while it still holds a text of ours,
    // what it held before that (or "" where that was never read).
    QString user();
    // `text` of ours is on the clipboard now, put over `before` (null where it was not read).
    void putOver(const QString &text, const QString &before);

    ClipboardAccess &clipboard() { return m_clipboard; }

private:
    ClipboardAccess &m_clipboard;
    QString m_ours;
    QString m_under;
};
