#include "clipboardsnapshot.h"

#include "hotkeys/hotkeyplatform.h"

#include <QGuiApplication>
#include <QMimeData>

namespace {

bool ownedByUs(QClipboard *clipboard, QClipboard::Mode mode)
{
    switch (mode) {
    case QClipboard::Selection:
        return clipboard->ownsSelection();
    case QClipboard::FindBuffer:
        return clipboard->ownsFindBuffer();
    default:
        return clipboard->ownsClipboard();
    }
}

} // namespace

ClipboardSnapshot::ClipboardSnapshot(HotKeyPlatform &platform, QClipboard::Mode mode)
    : m_platform(platform), m_mode(mode)
{
    const QMimeData *now = QGuiApplication::clipboard()->mimeData(mode);
    if (!now)
        return;
    const QStringList formats = now->formats();
    if (formats.isEmpty())
        return;
    m_copy = std::make_unique<QMimeData>();
    for (const QString &format : formats)
        m_copy->setData(format, now->data(format));
}

ClipboardSnapshot::~ClipboardSnapshot() = default;

void ClipboardSnapshot::replaceWith(const QString &text)
{
    // Where the platform goes around Qt (wl-copy on Wayland), the clipboard is not ours
    // afterwards and restore() leaves it alone.
    m_platform.setClipboard(text, m_mode);
    m_text = text;
    m_replaced = true;
}

bool ClipboardSnapshot::restore()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!m_replaced || !ownedByUs(clipboard, m_mode))
        return false;
    const QMimeData *now = clipboard->mimeData(m_mode);
    if (!now || now->text() != m_text)
        return false;
    m_replaced = false;
    if (m_copy)
        clipboard->setMimeData(m_copy.release(), m_mode); // the clipboard takes it
    else
        clipboard->clear(m_mode);
    return true;
}
