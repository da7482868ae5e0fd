#include "delivery.h"

#include "core/pastekeytable.h"
#include "engine/clipboardsnapshot.h"
#include "engine/ownclipboard.h"
#include "hotkeys/platform.h"
#include "hotkeys/shortcutregistry.h"

#include <algorithm>

namespace {

// Counted in characters, not in the halves of those beyond the 16-bit range.
qsizetype characters(const QString &text)
{
    return text.size() -
           std::count_if(text.cbegin(), text.cend(), [](QChar c) { return c.isLowSurrogate(); });
}

} // namespace

Delivery::Delivery(Platform &platform, ShortcutRegistry &registry, OwnClipboard &own,
                   const Preferences &preferences, const Timing &timing, QObject *parent)
    : QObject(parent), m_platform(platform), m_registry(registry), m_own(own),
      m_preferences(preferences), m_timing(timing)
{
    m_wait.setSingleShot(true);
    m_wait.setTimerType(Qt::PreciseTimer); // never shorter than the full wait
    connect(&m_wait, &QTimer::timeout, this, [this] { (this->*m_step)(); });
}

void Delivery::after(int ms, void (Delivery::*step)())
{
    m_step = step;
    m_wait.start(ms);
}

Delivery::~Delivery() = default;

void Delivery::start(const DeliveryRequest &request, const FillIn::Result &filled,
                     const QString &clipboardAtPress)
{
    m_request = request;
    m_text = filled.text;
    m_caretLeft = filled.cursorLeft;
    m_eraseLeft = request.erase;
    m_restore = m_preferences.restoreClipboard();
    // The text between the keys of {{key:...}}, each piece with the keys after it.
    m_pieces = {Piece()};
    qsizetype from = 0;
    for (const FillIn::KeyAt &key : filled.keys) {
        if (key.at > from || m_pieces.constLast().keys.isEmpty()) {
            if (!m_pieces.constLast().keys.isEmpty())
                m_pieces.append(Piece());
            m_pieces.last().text = m_text.mid(from, key.at - from);
            from = key.at;
        }
        m_pieces.last().keys.append(key.key);
    }
    if (from < m_text.size() || filled.keys.isEmpty())
        m_pieces.append(Piece{m_text.mid(from), {}});
    if (m_pieces.constFirst().text.isEmpty() && m_pieces.constFirst().keys.isEmpty())
        m_pieces.removeFirst();

    m_sinceStart.start();
    chooseRoute();
    if (!m_typing) {
        put(m_pieces.constFirst().text, QClipboard::Clipboard);
        m_own.putOver(m_pieces.constFirst().text, clipboardAtPress);
    }
    // Typed, an abbreviation has no held modifier to wait for.
    const bool waits = request.way != DeliveryRequest::Way::Abbreviation;
    after(waits ? m_timing.pasteDelayMs : 0, &Delivery::pollKeys);
}

// The program the user was in decides: typed where the preferences say so (and the text is not
// too long to type), else pasted with the stroke that program understands.
void Delivery::chooseRoute()
{
    const PasteKeyTable table(m_preferences.pasteKeys(), m_preferences.defaultPasteKey());
    const QStringList windowClass = m_platform.focus().focusedWindowClass();
    const QString instance = windowClass.value(0);
    const QString className = windowClass.value(1);
    m_typing = table.strokeFor(instance, className) == PasteStroke::Type;
    if (m_typing && characters(m_text) > TypeLimit) {
        m_typing = false;
        m_warning = tr("The text has more than %1 characters, so it was pasted rather than typed.")
                        .arg(TypeLimit);
    }
    m_stroke = m_typing ? 0 : table.pasteStrokeFor(instance, className);
}

void Delivery::put(const QString &text, QClipboard::Mode mode)
{
    std::unique_ptr<ClipboardSnapshot> &kept =
        mode == QClipboard::Selection ? m_selection : m_clipboard;
    // Copying what is there costs a round trip to its owner per format: only when wanted, and
    // only what was there before the first piece.
    if (m_restore && !kept) {
        kept = std::make_unique<ClipboardSnapshot>(m_platform.clipboard(), mode);
        kept->replaceWith(text);
    } else if (kept) {
        kept->replaceWith(text);
    } else {
        m_platform.clipboard().setClipboard(text, mode);
    }
}

void Delivery::pollKeys()
{
    if (m_platform.keys().keysFree(m_request.code) && !m_registry.isHeld(m_request.code)) {
        erase();
        return;
    }
    if (m_sinceStart.elapsed() >= m_timing.giveUpMs) {
        fail(tr("The keys were still held %1 seconds after the hot key, so nothing was pasted; "
                "the text is on the clipboard.")
                 .arg(m_timing.giveUpMs / 1000));
        return;
    }
    after(KeyPollMs, &Delivery::pollKeys);
}

void Delivery::erase()
{
    if (m_eraseLeft <= 0) {
        sendPiece();
        return;
    }
    --m_eraseLeft;
    m_registry.sendStroke(Qt::Key_Backspace, [this, alive = std::weak_ptr<const bool>(m_alive)](
                                                 const QString &failure) {
        if (alive.expired())
            return;
        if (!failure.isEmpty())
            fail(failure);
        else
            QMetaObject::invokeMethod(this, &Delivery::erase, Qt::QueuedConnection);
    });
}

void Delivery::sendPiece()
{
    if (m_nextPiece >= m_pieces.size()) {
        Q_EMIT sent(QString(), m_warning);
        after(m_timing.settleMs, &Delivery::moveCaret);
        return;
    }
    const Piece piece = m_pieces.at(m_nextPiece++);
    const auto then = [this, keys = piece.keys,
                       alive = std::weak_ptr<const bool>(m_alive)](const QString &failure) {
        if (alive.expired())
            return;
        if (!failure.isEmpty()) {
            fail(failure);
            return;
        }
        if (m_typing && m_warning.isEmpty())
            m_warning = m_platform.keys().typedWarning();
        pressKeys(keys);
    };
    if (piece.text.isEmpty() && !piece.keys.isEmpty()) {
        then(QString());
    } else if (m_typing) {
        m_registry.typeText(piece.text, then);
    } else {
        // The first piece went on the clipboard at the start; a later one once the target has
        // fetched the one before.
        if (m_nextPiece > 1)
            put(piece.text, QClipboard::Clipboard);
        if (PasteKeyTable::pastesPrimary(m_stroke))
            put(piece.text, QClipboard::Selection);
        m_registry.sendStroke(m_stroke, then);
    }
}

// One at a time, each once the one before went out: the desktop may answer later.
void Delivery::pressKeys(QList<int> keys)
{
    if (keys.isEmpty()) {
        const bool more = m_nextPiece < m_pieces.size();
        // The target fetches the paste before the clipboard changes.
        if (more && !m_typing)
            after(m_timing.settleMs, &Delivery::sendPiece);
        else
            sendPiece();
        return;
    }
    const int key = keys.takeFirst();
    m_registry.sendStroke(
        key, [this, keys, alive = std::weak_ptr<const bool>(m_alive)](const QString &failure) {
            if (alive.expired())
                return;
            if (!failure.isEmpty())
                fail(failure);
            else
                QMetaObject::invokeMethod(
                    this, [this, keys] { pressKeys(keys); }, Qt::QueuedConnection);
        });
}

// The text stays on the clipboard for the user to paste by hand; nothing is put back then.
void Delivery::fail(const QString &failure)
{
    m_wait.stop();
    m_restore = false;
    m_caretLeft = 0;
    m_clipboard.reset();
    m_selection.reset();
    if (m_typing || m_pieces.size() > 1) {
        const QString before = m_own.user();
        m_platform.clipboard().setClipboard(m_text, QClipboard::Clipboard);
        m_own.putOver(m_text, before);
    }
    Q_EMIT sent(failure, QString());
    after(m_timing.settleMs, &Delivery::end);
}

void Delivery::moveCaret()
{
    if (m_caretLeft <= 0) {
        end();
        return;
    }
    --m_caretLeft;
    m_registry.sendStroke(
        Qt::Key_Left, [this, alive = std::weak_ptr<const bool>(m_alive)](const QString &failure) {
            if (alive.expired())
                return;
            if (!failure.isEmpty())
                m_caretLeft = 0;
            QMetaObject::invokeMethod(this, &Delivery::moveCaret, Qt::QueuedConnection);
        });
}

void Delivery::end()
{
    if (m_restore) {
        if (m_clipboard)
            m_clipboard->restore();
        if (m_selection)
            m_selection->restore();
    }
    m_clipboard.reset();
    m_selection.reset();
    Q_EMIT finished();
}
