#pragma once

#include "hotkeys/shortcutbackend.h"

#include <QDBusObjectPath>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantMap>

// Hot keys through the desktop's GlobalShortcuts portal (Wayland sessions). The program has one
// portal session under a fixed token, created with the whole set of wanted combinations: KDE
// registers shortcuts only from the session's creation options, so every change closes the
// session and creates it again with the new set. Changes made in one turn of the event loop
// are applied together. The desktop's answer comes later: a combination it did not bind is
// reported through Handlers::regrabbed(code, false), one it bound after all with true.
class PortalPlatform;

class PortalShortcutBackend final : public QObject, public ShortcutBackend
{
    Q_OBJECT

public:
    // Nothing is sent before the platform knows the desktop offers the portal.
    PortalShortcutBackend(Handlers handlers, PortalPlatform &platform);
    ~PortalShortcutBackend() override;

    // True until the desktop says otherwise.
    bool grab(int code) override;
    void ungrab(int code) override;
    // The desktop says when a chord is let go of; it reports auto-repeats as presses.
    bool reportsReleases() const override { return true; }

    // The session token, which names the program's shortcuts in the desktop's settings.
    static QString sessionToken();
    // Lets go of every shortcut KDE's daemon keeps bound for the program but those in `keep`.
    static void releaseBindings(const QSet<int> &keep, QObject *context);

private Q_SLOTS:
    void activated(const QDBusObjectPath &session, const QString &id, qulonglong timestamp,
                   const QVariantMap &options);
    void deactivated(const QDBusObjectPath &session, const QString &id, qulonglong timestamp,
                     const QVariantMap &options);

private:
    void scheduleApply();
    void apply();
    void created(uint response, const QVariantMap &results);
    void releaseUnwanted();
    void askKGlobalAccel(const QList<int> &codes);
    void report(int code, bool bound);

    Handlers m_handlers;
    PortalPlatform &m_platform;
    QSet<int> m_wanted;
    QSet<int> m_bound;               // as the holders were told
    QSet<int> m_sent;                // in the live session or the one being created
    QHash<int, QString> m_sentNames; // as the desktop's settings list them
    QString m_session;               // handle of the live session, empty when none
    bool m_applyPending = false;
    // One creation at a time: the handle is the same for every session of the token.
    bool m_creating = false;
};
