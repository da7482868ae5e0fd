#pragma once

#include "core/fillin.h"
#include "engine/deliveryrequest.h"
#include "store/preferences.h"

#include <memory>
#include <QClipboard>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class ClipboardSnapshot;
class OwnClipboard;
class Platform;
class ShortcutRegistry;

// One note on its way into the program that has the focus, its text filled in already, through
// the steps every delivery takes in this order, each decided once: paste or type for the target
// (and with which stroke), the wait for the keys to be let go of, erasing what was typed, sending
// the text (the keys of its {{key:...}} where they stand), the caret back to {{cursor}}, the
// clipboard put back. Made for one request; emits finished() once, when the next may begin.
class Delivery final : public QObject
{
    Q_OBJECT

public:
    // The waits; tests shorten them.
    struct Timing
    {
        // From the clipboard write to the paste, so the user can let go of the hot key and the
        // clipboard has settled. An abbreviation, typed without a held modifier, skips it.
        int pasteDelayMs = 1000;
        // The target fetches the clipboard only after it has seen the paste: nothing writes the
        // clipboard before then.
        int settleMs = 500;
        // A delivery still held back this long after its clipboard write is dropped; the text
        // stays on the clipboard for the user to paste by hand.
        int giveUpMs = 10000;
    };

    static constexpr int KeyPollMs = 20;
    // A longer text is pasted even where the user chose typing: typed, it would take minutes.
    static constexpr int TypeLimit = 20000;

    Delivery(Platform &platform, ShortcutRegistry &registry, OwnClipboard &own,
             const Preferences &preferences, const Timing &timing, QObject *parent = nullptr);
    ~Delivery() override;

    // `clipboardAtPress`: what the user had on the clipboard when asking (null when not read).
    void start(const DeliveryRequest &request, const FillIn::Result &filled,
               const QString &clipboardAtPress);

Q_SIGNALS:
    // The text went out (`failure` ""; `warning` says what the user should know of how), or it
    // did not and `failure` says why: the text stays on the clipboard then.
    void sent(const QString &failure, const QString &warning);
    // Everything is done (the caret moved, the clipboard put back): the next may begin.
    void finished();

private:
    // What goes out between two key presses of {{key:...}}: a text and the keys after it.
    struct Piece
    {
        QString text;
        QList<int> keys;
    };

    // Runs `step` once `ms` have passed.
    void after(int ms, void (Delivery::*step)());
    void chooseRoute();
    void put(const QString &text, QClipboard::Mode mode);
    void pollKeys();
    void erase();
    void sendPiece();
    void pressKeys(QList<int> keys);
    void fail(const QString &failure);
    void moveCaret();
    void end();

    Platform &m_platform;
    ShortcutRegistry &m_registry;
    OwnClipboard &m_own;
    const Preferences m_preferences;
    const Timing m_timing;
    DeliveryRequest m_request;
    QString m_text; // whole, for the clipboard when it does not go out
    QList<Piece> m_pieces;
    qsizetype m_nextPiece = 0;
    int m_caretLeft = 0;
    int m_eraseLeft = 0;
    bool m_typing = false;
    int m_stroke = 0;
    bool m_restore = false;
    QString m_warning;
    QElapsedTimer m_sinceStart;
    QTimer m_wait; // the paste delay, then the polls of the keys and the settling
    void (Delivery::*m_step)() = nullptr;
    std::unique_ptr<ClipboardSnapshot> m_clipboard;
    std::unique_ptr<ClipboardSnapshot> m_selection;
    std::shared_ptr<const bool> m_alive = std::make_shared<const bool>(true);
};
