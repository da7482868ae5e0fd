#pragma once

#include "core/fillin.h"
#include "hotkeys/pastedelivery.h"
#include "hotkeys/shortcutregistry.h"

#include <functional>
#include <memory>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <vector>

class GlobalShortcut;
class HotKeyPlatform;
class Preferences;

// The live hot keys: which master macro is active, one GlobalShortcut per note of it, and the
// delivery of a note's text when one fires. A press puts the text on the clipboard and, after
// the paste delay and once the user has let go of the keys, sends the paste key stroke the
// focused program understands (PasteDelivery); presses are delivered one after another in press
// order, each with its own full wait, and a queued press touches the clipboard only once the
// earlier paste has been fetched. Console-switch keys are never registered: the server keeps
// them, so they are reported unavailable instead.
class HotKeyController final : public QObject
{
    Q_OBJECT

public:
    // While another program holds some of the live hot keys, they are asked for again this often.
    static constexpr int RetryMs = 5000;
    // Time between the clipboard write and the paste key stroke, so the user can let go of the
    // hot key and the clipboard has settled.
    static constexpr int PasteDelayMs = 1000;
    // The target fetches the clipboard only after it has seen the paste; a queued press must not
    // replace the text before then.
    static constexpr int PasteSettleMs = 500;

    // The waits of a delivery; tests shorten them.
    struct Timing
    {
        int pasteDelayMs = PasteDelayMs;
        int settleMs = PasteSettleMs;
        int giveUpMs = PasteDelivery::GiveUpMs;
    };

    // One note on its way: from a press of its hot key (`code`) or picked by name (code 0).
    struct Delivery
    {
        int code = 0;
        QString master;
        QString note;
        QString text;
        // Its {{note:...}} texts where they are not the live master macro's.
        FillIn::NoteLookup notes;
        QString clipboard; // at the press, where the note holds {{clipboard}}
    };

    // The text a press of `code` delivers; false when no note of the live master macro has it.
    using TextLookup = std::function<bool(int code, QString *text)>;

    // The platform must outlive the controller.
    explicit HotKeyController(HotKeyPlatform &platform, QObject *parent = nullptr);
    ~HotKeyController() override;

    // Registers `codes` (the notes of `master`, in store order; 0 for a note without a hot key),
    // releasing those of any other; a press then delivers what `lookup` gives for its code.
    void activate(const QString &master, const QList<int> &codes, TextLookup lookup);
    void deactivate();
    // Follows a rename of the active master macro (its notes stay registered).
    void renameActive(const QString &to);
    QString activeMaster() const { return m_active; }
    bool isActive(const QString &master) const { return !m_active.isEmpty() && m_active == master; }

    // The codes of the active master macro that could not be registered, with the reason.
    QHash<int, QString> unavailable() const;
    // What holds for every registered hot key on this platform ("" when nothing needs saying).
    QString caveat() const { return m_platform.caveat(); }
    // The combinations of the live hot keys, each once, in the order of their first note.
    QList<int> liveCodes() const;
    // True while at least one hot key of the active master macro is registered.
    bool hasLiveKeys() const;
    // Asks the platform again for the hot keys it refused (another program may have let go).
    void retryUnavailable();

    // The user's choices as they stand now; a delivery uses the ones set when it begins.
    void setPreferences(const Preferences &preferences);
    void setTiming(const Timing &timing);

    // The hot key of "Pick a note" as the preferences set it, 0 for none. A live note on the same
    // combination gives way: it is reported unavailable while the quick pick holds it.
    int quickPickCode() const { return m_quickPickCode; }
    bool quickPickRegistered() const;
    // Why the platform refused the key of "Pick a note"; empty when it took it or there is none.
    QString quickPickRefusal() const;

    // For the placeholders: the name of the note a press of `code` delivers, and the text of a
    // note of the active master macro by name.
    void setNotes(std::function<QString(int code)> nameOf, FillIn::NoteLookup textOf);
    // Asks the user for the {{input:...}} values; without it they are delivered as written.
    void setInputAsk(FillIn::InputAsk ask) { m_ask = std::move(ask); }
    bool fillsIn() const { return m_fillIn; }

public Q_SLOTS:
    // A press of `code`: queued for delivery.
    void press(int code);
    // A note chosen by name: delivered as its hot key would be, in turn with the presses.
    void deliverNote(const QString &master, const QString &note, const QString &text,
                     FillIn::NoteLookup notes = {});

Q_SIGNALS:
    void unavailableChanged();
    // The active master macro changed: another one, none, a new name, or its notes reloaded.
    void liveChanged();
    // A press's paste went out ("", or a warning about how it went) or not, and why: its text
    // stays on the clipboard then.
    void pasteFinished(const QString &failure);
    // The placeholders were switched on or off in the preferences.
    void fillInSwitched(bool on);
    // What a delivery left as written and why ("" when all was filled in).
    void fillInWarning(const QString &warning);
    // The desktop renewed its permission to send keys: the preferences keep it for the next run.
    void keyboardTokenChanged(const QString &token);
    // The hot key of "Pick a note" was pressed.
    void quickPickPressed();

private:
    void setQuickPickCode(int code);
    void release();
    void queue(Delivery delivery);
    void deliverNext();
    bool fillIn(Delivery &delivery);
    void moveCaret();
    void reportUnavailable();

    HotKeyPlatform &m_platform;
    ShortcutRegistry m_registry; // outlives the shortcuts below
    QString m_active;
    QList<int> m_activeCodes;
    TextLookup m_lookup;
    std::vector<std::unique_ptr<GlobalShortcut>> m_shortcuts;
    // Of the active master macro's notes, not registered: the server's console switches and
    // the quick pick's combination.
    QList<int> m_consoleCodes;
    int m_quickPickCode = 0;
    std::unique_ptr<GlobalShortcut> m_quickPick;
    bool m_hadUnavailable = false;

    QList<Delivery> m_pending; // in press order
    bool m_fillIn = false;
    bool m_asking = false; // the user is being asked for inputs: presses wait
    int m_caretLeft = 0;   // Left presses still to send after the paste, for {{cursor}}
    std::function<QString(int)> m_nameOf;
    FillIn::NoteLookup m_textOf;
    FillIn::InputAsk m_ask;
    QTimer m_pasteTimer;  // the wait between a clipboard write and its paste
    QTimer m_settleTimer; // lets the target fetch a paste before the next write
    QTimer m_retryTimer;  // runs while the platform refuses some of the live hot keys
    PasteDelivery m_delivery;
};
