#pragma once

#include "core/fillin.h"
#include "engine/delivery.h"
#include "engine/deliveryrequest.h"
#include "engine/ownclipboard.h"
#include "store/preferences.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class InputAsker;
class MacroStore;
class Platform;
class ShortcutRegistry;

// Where every delivery goes, whichever way it came in (a hot key, "Pick a note", an
// abbreviation, the command line): the note's text is resolved from the store as it is now, the
// user is asked for its inputs before it is queued (never while another goes out), it is filled
// in, and a Delivery takes it through the steps to the focused program. Deliveries go one after
// another in the order they came in, each with its full waits.
class DeliveryEngine final : public QObject
{
    Q_OBJECT

public:
    // The platform, the registry and the store must outlive the engine.
    DeliveryEngine(Platform &platform, ShortcutRegistry &registry, const MacroStore &store,
                   QObject *parent = nullptr);
    ~DeliveryEngine() override;

    // The user's choices as they stand now; a delivery uses the ones set when it begins.
    void setPreferences(const Preferences &preferences);
    void setTiming(const Delivery::Timing &timing) { m_timing = timing; }
    // Asks the user for the {{input:...}} values; without one they are delivered as written.
    void setInputAsker(InputAsker *asker) { m_asker = asker; }
    bool fillsIn() const { return m_fillIn; }
    // Nothing is being delivered, asked or waiting.
    bool isIdle() const { return !m_current && !m_asking && m_waiting.isEmpty(); }
    // Deliveries taken and not over yet, the one on its way too.
    qsizetype pending() const { return m_waiting.size() + (m_current || m_asking ? 1 : 0); }
    // What the user typed after an abbreviation before its replacement goes out: erased and put
    // after the text too (false when it cannot be told).
    void setTypedMeanwhile(Delivery::TypedMeanwhile typed) { m_typedMeanwhile = std::move(typed); }

    // The note the request names, as the store holds it now, on its way; false (and nothing
    // happens) when the store has no such note.
    bool submit(const DeliveryRequest &request);

Q_SIGNALS:
    // A delivery is over: its text did not go out and why (`failure`; its text stays on the
    // clipboard then), or it went out with a change the user should know of (`warning`), or
    // both are "".
    void pasteFinished(const QString &failure, const QString &warning);
    // What a delivery left as written and why ("" when all was filled in).
    void fillInWarning(const QString &warning);
    // A delivery begins to send keys, or has sent them all (or failed): the keys sent meanwhile
    // are the program's own.
    void deliveryStarted();
    void deliveryEnded();
    // The placeholders were switched on or off in the preferences.
    void fillInSwitched(bool on);

private:
    struct Waiting
    {
        DeliveryRequest request;
        QString text;
        FillIn::NoteLookup notes; // its {{note:...}}: the other notes of its master macro
        QString clipboard;        // at the request, where its placeholders need it
        QStringList labels;       // of its {{input:...}}, to be asked before it goes
        QStringList values;
        bool asked = false;
    };

    void next();
    void endDelivery();
    void ask(Waiting &waiting);
    void deliver(const Waiting &waiting);

    Platform &m_platform;
    ShortcutRegistry &m_registry;
    const MacroStore &m_store;
    OwnClipboard m_own;
    Preferences m_preferences;
    Delivery::Timing m_timing;
    bool m_fillIn = false;
    InputAsker *m_asker = nullptr;
    QList<Waiting> m_waiting; // in the order they came in
    bool m_asking = false;
    QPointer<Delivery> m_current;
    Delivery::TypedMeanwhile m_typedMeanwhile;
    bool m_sending = false; // between deliveryStarted() and deliveryEnded()
};
