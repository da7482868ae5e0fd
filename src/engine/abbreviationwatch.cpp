#include "abbreviationwatch.h"

#include "engine/livemaster.h"
#include "hotkeys/keywatcher.h"
#include "store/macrostore.h"
#include "store/preferences.h"
#include "store/storesnapshot.h"

#include <utility>

AbbreviationWatch::AbbreviationWatch(KeyWatcher &watcher, const MacroStore &store,
                                     const LiveMaster &live, QObject *parent)
    : QObject(parent), m_watcher(watcher), m_store(store), m_live(live)
{
    // Armed only while something is kept: no wake-ups without typing.
    m_idle.setSingleShot(true);
    m_idle.setInterval(IdleMs);
    connect(&m_idle, &QTimer::timeout, this, &AbbreviationWatch::forget);
    connect(&live, &LiveMaster::liveChanged, this, &AbbreviationWatch::notesChanged);
}

AbbreviationWatch::~AbbreviationWatch()
{
    if (m_watching)
        m_watcher.watch({});
}

QString AbbreviationWatch::unavailableReason() const
{
    return m_watcher.unavailableReason();
}

void AbbreviationWatch::setPreferences(const Preferences &preferences)
{
    m_wanted = preferences.expandAbbreviations();
    m_denied = DeniedPrograms(preferences.deniedPrograms());
    update();
}

void AbbreviationWatch::notesChanged()
{
    update();
}

void AbbreviationWatch::update()
{
    // The notes as the store holds them now, read again only when the file or the live master
    // macro changed.
    const QString master = m_live.name();
    std::shared_ptr<const StoreSnapshot> now = master.isEmpty() ? nullptr : m_store.snapshot();
    if (now != m_read || master != m_readMaster) {
        QStringList abbreviations;
        m_notes.clear();
        m_lengths.clear();
        if (const StoreSnapshot::Master *live = now ? now->master(master) : nullptr) {
            for (const MacroStore::Note &note : live->notes) {
                if (!note.abbreviation.isEmpty()) {
                    abbreviations.append(note.abbreviation);
                    m_notes.append(note.name);
                    m_lengths.append(static_cast<int>(note.abbreviation.toUcs4().size()));
                }
            }
        }
        m_tail.setAbbreviations(abbreviations);
        m_read = std::move(now);
        m_readMaster = master;
    }
    // A note given an abbreviation later is found at the next key: the watch runs with a live
    // master macro, whether its notes have abbreviations yet or not.
    const bool watch = m_wanted && !master.isEmpty() && m_watcher.unavailableReason().isEmpty();
    if (watch == m_watching)
        return;
    m_watching = watch;
    forget();
    if (watch) {
        KeyWatcher::Handlers handlers;
        handlers.key = [this](const TypedKey &typed) { key(typed); };
        handlers.focusChanged = [this](const QStringList &windowClass) {
            forget();
            m_caughtWhole = false; // typed elsewhere: not to be put back here
            m_deniedHere = m_denied.denies(windowClass);
        };
        handlers.grabChanged = [this](bool grabbed) {
            forget();
            m_grabbed = grabbed;
        };
        m_deniedHere = false;
        m_grabbed = false;
        m_watcher.watch(handlers);
    } else {
        m_watcher.watch({});
    }
    Q_EMIT watchingChanged(watch);
}

void AbbreviationWatch::forget()
{
    m_tail.clear();
    m_idle.stop();
}

void AbbreviationWatch::key(const TypedKey &typed)
{
    if (m_delivering) {
        if (!m_catching || typed.kind == TypedKey::Kind::Ignored)
            return;
        // As many as an abbreviation may hold; anything but characters cannot be put back.
        m_caughtWhole = m_caughtWhole && typed.kind == TypedKey::Kind::Character &&
                        m_caught.size() < TypedTail::Capacity;
        if (m_caughtWhole)
            m_caught.append(QString::fromUcs4(&typed.character, 1));
        return;
    }
    if (m_deniedHere || m_grabbed)
        return;
    // The store may have changed since the last key (another machine, the editor).
    if (m_store.snapshot() != m_read) {
        update();
        if (!m_watching)
            return;
    }
    const int found = m_tail.key(typed);
    if (m_tail.isEmpty())
        m_idle.stop();
    else
        m_idle.start();
    if (found < 0)
        return;
    // A prompt that took the keyboard before the watch heard of it still gets nothing.
    if (m_watcher.keyboardGrabbed())
        return;
    DeliveryRequest request;
    request.way = DeliveryRequest::Way::Abbreviation;
    request.master = m_readMaster;
    request.note = m_notes.at(found);
    request.erase = m_lengths.at(found); // a BackSpace per character typed
    // From here on what is typed goes into the program before the replacement does.
    m_delivering = true;
    m_catching = true;
    m_caughtWhole = true;
    m_caught.clear();
    Q_EMIT requested(request);
}

void AbbreviationWatch::deliveryStarted()
{
    // A replacement asked for is catching already; another delivery only pauses the watch.
    m_delivering = true;
    forget();
}

bool AbbreviationWatch::typedMeanwhile(QString *typed)
{
    if (!m_delivering)
        return false;
    m_watcher.catchUp();
    // The replacement's own keys follow: nothing more is the user's.
    m_catching = false;
    *typed = std::exchange(m_caught, QString());
    return m_caughtWhole;
}

void AbbreviationWatch::deliveryEnded()
{
    if (!m_delivering)
        return;
    // The keys the delivery sent come back as typing: they are skipped.
    m_watcher.skipPending();
    m_delivering = false;
    m_catching = false;
    m_caught.clear();
}
