#include "pastedelivery.h"

#include "hotkeys/clipboardsnapshot.h"
#include "hotkeys/clipboardwriter.h"
#include "hotkeys/focusedwindow.h"
#include "hotkeys/keyboardstate.h"
#include "hotkeys/pastekeytable.h"
#include "hotkeys/shortcutregistry.h"
#include "store/preferences.h"

#include <QGuiApplication>

PasteDelivery::PasteDelivery(QObject *parent)
    : QObject(parent), m_send([](int stroke) { ShortcutRegistry::sendPaste(stroke); })
{
    m_keyPoll.setSingleShot(true);
    m_keyPoll.setInterval(KeyPollMs);
    connect(&m_keyPoll, &QTimer::timeout, this, &PasteDelivery::pollKeys);
}

PasteDelivery::~PasteDelivery() = default;

void PasteDelivery::begin(int code, const QString &text)
{
    m_keyPoll.stop();
    m_busy = true;
    m_code = code;
    m_text = text;
    m_selection.reset();
    m_restore = Preferences::load().restoreClipboard();
    put(m_clipboard, QClipboard::Clipboard);
    m_sinceBegin.start();
}

void PasteDelivery::put(std::unique_ptr<ClipboardSnapshot> &snapshot, QClipboard::Mode mode)
{
    // Copying what is there costs a round trip to its owner per format: only when wanted.
    if (m_restore) {
        snapshot = std::make_unique<ClipboardSnapshot>(mode);
        snapshot->replaceWith(m_text);
    } else if (mode == QClipboard::Clipboard) {
        ClipboardWriter::setText(m_text);
    } else {
        QGuiApplication::clipboard()->setText(m_text, mode);
    }
}

void PasteDelivery::pasteWhenKeysAreFree()
{
    pollKeys();
}

void PasteDelivery::pollKeys()
{
    if (KeyboardState::isFree(m_code)) {
        paste();
        return;
    }
    if (m_sinceBegin.elapsed() >= GiveUpMs) {
        // The text stays on the clipboard for the user to paste by hand.
        m_restore = false;
        Q_EMIT finished(false);
        return;
    }
    m_keyPoll.start();
}

void PasteDelivery::paste()
{
    const QStringList windowClass = FocusedWindow::windowClass();
    const int stroke = PasteKeyTable(Preferences::load().pasteKeys())
                           .strokeFor(windowClass.value(0), windowClass.value(1));
    if (PasteKeyTable::pastesPrimary(stroke))
        put(m_selection, QClipboard::Selection);
    m_send(stroke);
    Q_EMIT finished(true);
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
