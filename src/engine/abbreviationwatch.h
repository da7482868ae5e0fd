#pragma once

#include "core/deniedprograms.h"
#include "core/typedtail.h"
#include "engine/deliveryrequest.h"

#include <memory>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

class KeyWatcher;
class LiveMaster;
class MacroStore;
class Preferences;
class StoreSnapshot;

// The abbreviations of the live master macro's notes, typed in any program: watches the keyboard
// only while the user wants it and a master macro is live, keeps the last few characters typed
// (TypedTail) and forgets them after a pause, at a break, in a denied program and while another
// program holds the keyboard, and asks for the note whose abbreviation was completed, to be
// erased and replaced.
class AbbreviationWatch final : public QObject
{
    Q_OBJECT

public:
    // A pause in typing this long forgets what was typed.
    static constexpr int IdleMs = 5000;

    // All three must outlive the watch.
    AbbreviationWatch(KeyWatcher &watcher, const MacroStore &store, const LiveMaster &live,
                      QObject *parent = nullptr);
    ~AbbreviationWatch() override;

    // On or off, and the user's denied programs.
    void setPreferences(const Preferences &preferences);
    bool isWatching() const { return m_watching; }
    // "" where the session lets the keyboard be watched.
    QString unavailableReason() const;

    // What was typed since the replacement was asked for, which has not gone out yet; false when
    // more than characters was typed. Called once, just before the replacement goes out.
    bool typedMeanwhile(QString *typed);

public Q_SLOTS:
    // The live master macro, or its notes, may have changed.
    void notesChanged();
    // The program sends keys of its own meanwhile: they are no typing.
    void deliveryStarted();
    void deliveryEnded();

Q_SIGNALS:
    void requested(const DeliveryRequest &request);
    void watchingChanged(bool watching);

private:
    void update();
    void key(const TypedKey &key);
    void forget();

    KeyWatcher &m_watcher;
    const MacroStore &m_store;
    const LiveMaster &m_live;
    bool m_wanted = false;
    bool m_watching = false;
    DeniedPrograms m_denied;
    TypedTail m_tail;
    QTimer m_idle;
    std::shared_ptr<const StoreSnapshot> m_read; // what the abbreviations were read from
    QString m_readMaster;
    QStringList m_notes;  // of the abbreviations, in the same order
    QList<int> m_lengths; // of the abbreviations, in characters
    bool m_deniedHere = false;
    bool m_grabbed = false;
    bool m_delivering = false;
    // While a replacement is on its way: the characters typed after its abbreviation.
    bool m_catching = false;
    bool m_caughtWhole = true;
    QString m_caught;
};
