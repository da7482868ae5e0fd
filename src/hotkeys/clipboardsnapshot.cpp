#include "clipboardsnapshot.h"

#include "hotkeys/hotkeyplatform.h"

#include <QMimeData>

ClipboardSnapshot::ClipboardSnapshot(HotKeyPlatform &platform, QClipboard::Mode mode)
    : m_platform(platform), m_mode(mode), m_copied(platform.copyClipboard(mode, &m_copy))
{
}

ClipboardSnapshot::~ClipboardSnapshot() = default;

void ClipboardSnapshot::replaceWith(const QString &text)
{
    m_platform.setClipboard(text, m_mode);
    m_text = text;
    m_replaced = true;
}

bool ClipboardSnapshot::restore()
{
    // What could not be copied is not put back as empty: the text stays rather than nothing.
    if (!m_replaced || !m_copied || !m_platform.clipboardHolds(m_mode, m_text))
        return false;
    m_replaced = false;
    m_platform.restoreClipboard(m_mode, std::move(m_copy));
    return true;
}
