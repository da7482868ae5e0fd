#include "ownclipboard.h"

#include "hotkeys/clipboardaccess.h"

QString OwnClipboard::user()
{
    const QString now = m_clipboard.clipboardText();
    if (!m_ours.isNull() && now == m_ours)
        return m_under.isNull() ? QStringLiteral("") : m_under;
    return now.isNull() ? QStringLiteral("") : now;
}

void OwnClipboard::putOver(const QString &text, const QString &before)
{
    m_ours = text.isNull() ? QStringLiteral("") : text;
    m_under = before; // read through user(): never a text of ours
}
