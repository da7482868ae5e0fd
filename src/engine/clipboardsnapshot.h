#pragma once

#include <memory>
#include <QClipboard>
#include <QString>

class ClipboardAccess;
class QMimeData;

// What the clipboard (or the selection) held before a paste, to be put back after it.
class ClipboardSnapshot final
{
public:
    // Copies what `mode` holds now; an empty clipboard is remembered as empty.
    ClipboardSnapshot(ClipboardAccess &clipboard, QClipboard::Mode mode);
    ~ClipboardSnapshot();
    ClipboardSnapshot(const ClipboardSnapshot &) = delete;
    ClipboardSnapshot &operator=(const ClipboardSnapshot &) = delete;

    // Puts `text` on, in place of what was copied.
    void replaceWith(const QString &text);
    // Puts the copy back, unless something else has taken the clipboard since replaceWith():
    // another program, or another text of ours; or the copy could not be made. True when it was
    // put back.
    bool restore();

private:
    ClipboardAccess &m_clipboard;
    QClipboard::Mode m_mode;
    std::unique_ptr<QMimeData> m_copy; // null when the clipboard was empty
    bool m_copied = false;
    QString m_text;
    bool m_replaced = false;
};
