#include "clipboardsnapshot.h"

#include "hotkeys/clipboardaccess.h"

#include <QMimeData>

ClipboardSnapshot::ClipboardSnapshot(ClipboardAccess &clipboard, QClipboard::Mode mode)
    : m_clipboard(clipboard), m_mode(mode), m_copied(clipboard.copyClipboard(mode, &m_copy))
{
}

ClipboardSnapshot::~ClipboardSnapshot() = default;

void ClipboardSnapshot::replaceWith(const QString &text)
{
    m_clipboard.setClipboard(text, m_mode);
    m_text = text;
    m_replaced = true;
}

bool ClipboardSnapshot::restore()
{
    // What could not be copied is not put back as empty: the text stays rather than nothing.
    if (!m_replaced || !m_copied || !m_clipboard.clipboardHolds(m_mode, m_text))
        return false;
    m_replaced = false;
    m_clipboard.restoreClipboard(m_mode, std::move(m_copy));
    return true;
}
