#include "pastedelivery.h"

#include "hotkeys/clipboardsnapshot.h"
#include "hotkeys/hotkeyplatform.h"
#include "core/pastekeytable.h"
#include "hotkeys/shortcutregistry.h"

#include <algorithm>
#include <QPointer>

PasteDelivery::PasteDelivery(HotKeyPlatform &platform, ShortcutRegistry &registry, QObject *parent)
    : QObject(parent), m_platform(platform), m_registry(registry)
{
    m_keyPoll.setSingleShot(true);
    m_keyPoll.setInterval(KeyPollMs);
    connect(&m_keyPoll, &QTimer::timeout, this, &PasteDelivery::pollKeys);
}

PasteDelivery::~PasteDelivery() = default;

void PasteDelivery::begin(int code, const QString &text, const QString &clipboardAtPress)
{
    m_clipboardAtPress = clipboardAtPress;
    m_keyPoll.stop();
    m_busy = true;
    m_code = code;
    m_text = text;
    m_selection.reset();
    m_restore = m_preferences.restoreClipboard();
    m_warning.clear();
    m_typing = false;
    // The program the user pressed the hot key in decides; asked only where typing is chosen.
    const PasteKeyTable table(m_preferences.pasteKeys(), m_preferences.defaultPasteKey());
    if (table.types()) {
        const QStringList windowClass = m_platform.focusedWindowClass();
        if (table.strokeFor(windowClass.value(0), windowClass.value(1)) == PasteStroke::Type) {
            // Counted in characters, not in the halves of those beyond the 16-bit range.
            const auto halves = std::count_if(text.cbegin(), text.cend(),
                                              [](QChar c) { return c.isLowSurrogate(); });
            m_typing = text.size() - halves <= TypeLimit;
            if (m_typing) {
                m_sinceBegin.start();
                return;
            }
            m_warning = tr("The text has more than %1 characters, so it was pasted rather than "
                           "typed.")
                            .arg(TypeLimit);
        }
    }
    put(m_clipboard, QClipboard::Clipboard);
    m_sinceBegin.start();
}

QString PasteDelivery::userClipboard()
{
    const QString now = m_platform.clipboardText();
    if (!m_ours.isNull() && now == m_ours)
        return m_underOurs;
    return now.isNull() ? QStringLiteral("") : now;
}

// A text of ours is never the user's: what the clipboard held before it stands in for it.
void PasteDelivery::markOurs()
{
    m_ours = m_clipboardAtPress.isNull() ? QString() : m_text;
    m_underOurs = m_clipboardAtPress;
}

void PasteDelivery::put(std::unique_ptr<ClipboardSnapshot> &snapshot, QClipboard::Mode mode)
{
    if (mode == QClipboard::Clipboard)
        markOurs();
    // Copying what is there costs a round trip to its owner per format: only when wanted.
    if (m_restore) {
        snapshot = std::make_unique<ClipboardSnapshot>(m_platform, mode);
        snapshot->replaceWith(m_text);
    } else {
        m_platform.setClipboard(m_text, mode);
    }
}

void PasteDelivery::pasteWhenKeysAreFree()
{
    pollKeys();
}

void PasteDelivery::pollKeys()
{
    if (m_platform.keysFree(m_code) && !m_registry.isHeld(m_code)) {
        paste();
        return;
    }
    if (m_sinceBegin.elapsed() >= m_giveUpMs) {
        // The text stays on the clipboard for the user to paste by hand.
        m_restore = false;
        if (m_typing) {
            m_platform.setClipboard(m_text, QClipboard::Clipboard);
            markOurs();
        }
        Q_EMIT finished(tr("The keys were still held %1 seconds after the hot key, so "
                           "nothing was pasted; the text is on the clipboard.")
                            .arg(m_giveUpMs / 1000));
        return;
    }
    m_keyPoll.start();
}

void PasteDelivery::paste()
{
    if (m_typing) {
        type();
        return;
    }
    const QStringList windowClass = m_platform.focusedWindowClass();
    const int stroke = PasteKeyTable(m_preferences.pasteKeys(), m_preferences.defaultPasteKey())
                           .pasteStrokeFor(windowClass.value(0), windowClass.value(1));
    if (PasteKeyTable::pastesPrimary(stroke))
        put(m_selection, QClipboard::Selection);
    QPointer<PasteDelivery> self(this);
    m_registry.sendStroke(stroke, [self](const QString &failure) {
        if (!self)
            return;
        // Nothing to put back when the paste never went: the text stays for the user.
        if (!failure.isEmpty())
            self->m_restore = false;
        Q_EMIT self->finished(failure);
    });
}

void PasteDelivery::type()
{
    QPointer<PasteDelivery> self(this);
    m_registry.typeText(m_text, [self](const QString &failure) {
        if (!self)
            return;
        // Left for the user to paste by hand; nothing to put back, as nothing was kept.
        if (!failure.isEmpty()) {
            self->m_restore = false;
            self->m_platform.setClipboard(self->m_text, QClipboard::Clipboard);
            self->markOurs();
        } else {
            self->m_warning = self->m_platform.typedWarning();
        }
        Q_EMIT self->finished(failure);
    });
}

void PasteDelivery::end()
{
    m_keyPoll.stop();
    if (m_restore) {
        if (m_clipboard)
            m_clipboard->restore();
        if (m_selection)
            m_selection->restore();
    }
    m_clipboard.reset();
    m_selection.reset();
    m_busy = false;
}
