#include "deliveryengine.h"

#include "engine/inputasker.h"
#include "hotkeys/platform.h"
#include "store/macrostore.h"
#include "store/storesnapshot.h"

#include <QDateTime>

DeliveryEngine::DeliveryEngine(Platform &platform, ShortcutRegistry &registry,
                               const MacroStore &store, QObject *parent)
    : QObject(parent), m_platform(platform), m_registry(registry), m_store(store),
      m_own(platform.clipboard())
{
}

DeliveryEngine::~DeliveryEngine()
{
    delete m_current;
}

void DeliveryEngine::setPreferences(const Preferences &preferences)
{
    m_preferences = preferences;
    m_platform.keys().setKeyboardToken(preferences.keyboardToken());
    if (std::exchange(m_fillIn, preferences.expandPlaceholders()) != m_fillIn)
        Q_EMIT fillInSwitched(m_fillIn);
}

bool DeliveryEngine::submit(const DeliveryRequest &request)
{
    // The texts of this reading of the store are what it delivers, however the file changes
    // while it waits its turn.
    const std::shared_ptr<const StoreSnapshot> store = m_store.snapshot();
    const StoreSnapshot::Note *note = store->note(request.master, request.note);
    if (!note)
        return false;
    Waiting waiting{request, note->text, {}, {}, {}, {}, false};
    if (m_fillIn) {
        const QString master = request.master;
        waiting.notes = [store, master](const QString &name, QString *text) {
            const StoreSnapshot::Note *found = store->note(master, name);
            if (found)
                *text = found->text;
            return found != nullptr;
        };
        FillIn scan(QDateTime(), {});
        scan.setNotes(waiting.notes);
        // Read now, as the delivery puts the note's own text there; and only for a note that
        // asks for it, as a large clipboard costs its owner's time and our memory.
        if (scan.readsClipboard(waiting.text))
            waiting.clipboard = m_own.user();
        waiting.labels = scan.inputs(waiting.text, request.note);
    }
    m_waiting.append(waiting);
    next();
    return true;
}

// One at a time: the inputs of the first waiting are asked once nothing is on its way (the
// question takes the keyboard, which a paste must not go to), then it goes.
void DeliveryEngine::next()
{
    if (m_current || m_asking || m_waiting.isEmpty())
        return;
    Waiting &first = m_waiting.first();
    if (!first.labels.isEmpty() && !first.asked && m_asker) {
        ask(first);
        return;
    }
    deliver(m_waiting.takeFirst());
}

void DeliveryEngine::ask(Waiting &waiting)
{
    m_asking = true;
    const quintptr focused = m_platform.focus().focusedWindow();
    QPointer<DeliveryEngine> self(this);
    m_asker->ask(waiting.request.note, waiting.labels,
                 [self, focused](bool answered, const QStringList &values) {
                     if (!self)
                         return;
                     self->m_asking = false;
                     // Answered or cancelled, the keyboard goes back to where the user was.
                     self->m_platform.focus().giveFocusBack(focused);
                     if (answered) {
                         self->m_waiting.first().values = values;
                         self->m_waiting.first().asked = true;
                     } else {
                         self->m_waiting.removeFirst();
                     }
                     QMetaObject::invokeMethod(self, &DeliveryEngine::next, Qt::QueuedConnection);
                 });
}

void DeliveryEngine::deliver(const Waiting &waiting)
{
    FillIn::Result filled;
    filled.text = waiting.text;
    if (m_fillIn) {
        const QString clipboard = waiting.clipboard;
        FillIn fillIn(QDateTime::currentDateTime(), [clipboard] { return clipboard; });
        fillIn.setNotes(waiting.notes);
        if (waiting.asked) {
            fillIn.setInput([values = waiting.values](const QString &, const QStringList &,
                                                      QStringList *answer) {
                *answer = values;
                return true;
            });
        }
        filled = fillIn.expand(waiting.text, waiting.request.note);
        Q_EMIT fillInWarning(filled.warnings.join(QLatin1Char('\n')));
    }
    m_current = new Delivery(m_platform, m_registry, m_own, m_preferences, m_timing, this);
    connect(m_current, &Delivery::sent, this, &DeliveryEngine::pasteFinished);
    connect(m_current, &Delivery::finished, this, [this] {
        m_current->deleteLater();
        m_current = nullptr;
        next();
    });
    m_current->start(waiting.request, filled, waiting.clipboard);
}
