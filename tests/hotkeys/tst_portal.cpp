// The global shortcuts portal played by the test on a private session bus (run under
// dbus-run-session): what the program asks the desktop to bind and under which names, and what
// it says when the desktop refuses the session (as the KDE portal does on a desktop without KDE's
// shortcut service: response 2).
#include "support/testenv.h"

#include "engine/keyregistration.h"
#include "engine/livemaster.h"
#include "hotkeys/platform.h"
#include "hotkeys/portal/portalplatform.h"
#include "hotkeys/portal/portalrequest.h"
#include "hotkeys/shortcutregistry.h"
#include "store/macrostore.h"
#include "store/preferences.h"

#include <QtDBus>
#include <QtTest>

namespace {

const int Note = (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined();
const int Pick = (Qt::CTRL | Qt::ALT | Qt::Key_Q).toCombined();

class FakeShortcutsPortal final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)

public:
    explicit FakeShortcutsPortal(const QDBusConnection &bus) : m_bus(bus) {}
    uint version() const { return 1; }

    uint response = 0;
    QHash<QString, QString> descriptions; // of the last session, by id

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap &options, const QDBusMessage &call)
    {
        const auto shortcuts =
            qdbus_cast<Portal::ShortcutList>(options.value("shortcuts").value<QDBusArgument>());
        descriptions.clear();
        for (const Portal::Shortcut &shortcut : shortcuts)
            descriptions.insert(shortcut.id, shortcut.properties.value("description").toString());
        const QString sender = call.service().mid(1).replace('.', '_');
        const QString request = "/org/freedesktop/portal/desktop/request/" + sender + '/' +
                                options.value("handle_token").toString();
        QDBusMessage answer =
            QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response");
        QVariantMap results;
        if (response == 0) {
            results.insert("session_handle",
                           "/org/freedesktop/portal/desktop/session/" + sender + "/keyquill");
            results.insert("shortcuts", QVariant::fromValue(shortcuts));
        }
        answer.setArguments({response, results});
        // After the reply, as a portal answers.
        QMetaObject::invokeMethod(
            this, [this, answer] { m_bus.send(answer); }, Qt::QueuedConnection);
        return QDBusObjectPath(request);
    }

private:
    QDBusConnection m_bus;
};

} // namespace

class TestPortal final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    MacroStore m_store;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no session bus");
        Portal::registerTypes();
        TestEnvironment::writeNote("Live", "note", Note, "text");
        Preferences preferences;
        preferences.setQuickPickShortcut(Pick);
        QVERIFY(preferences.save());
    }

    void sessionAnswer_data()
    {
        QTest::addColumn<uint>("response");
        QTest::newRow("bound") << 0u;
        QTest::newRow("the desktop refuses the session") << 2u;
    }
    void sessionAnswer()
    {
        QFETCH(uint, response);
        QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, QTest::currentDataTag());
        FakeShortcutsPortal portal(bus);
        portal.response = response;
        QVERIFY(bus.registerObject(Portal::Path, &portal,
                                   QDBusConnection::ExportAllSlots |
                                       QDBusConnection::ExportAllProperties));
        QVERIFY(bus.registerService(Portal::Service));
        const auto gone = qScopeGuard([&bus] {
            bus.unregisterService(Portal::Service);
            QDBusConnection::disconnectFromBus(bus.name());
        });
        PlatformEvents events;
        PortalPlatform platform(events);
        QTRY_COMPARE(platform.state(), PortalPlatform::State::Ready);
        ShortcutRegistry registry(platform, platform);
        KeyRegistration keys(platform, registry);
        keys.setQuickPickCode(Preferences::load().quickPickShortcut());
        LiveMaster live(m_store, keys);
        live.choose("Live");
        if (response == 0) {
            // The desktop's shortcut settings list them by these names.
            QTRY_COMPARE(portal.descriptions.value(QString::number(Pick)), "Pick a note");
            QCOMPARE(portal.descriptions.value(QString::number(Note)),
                     "Keyquill note on Ctrl+Alt+A");
            QVERIFY(keys.unavailable().isEmpty() && keys.quickPickRefusal().isEmpty());
            QVERIFY(platform.description().contains("global shortcuts portal"));
            return;
        }
        const QString refused = "refused the global shortcuts session";
        QTRY_VERIFY(keys.unavailable().value(Note).contains(refused));
        QVERIFY(!keys.unavailable().value(Note).contains("another program"));
        QVERIFY(keys.quickPickRefusal().contains(refused));
        QVERIFY2(platform.description().contains(refused), qPrintable(platform.description()));
    }
};

QTEST_MAIN(TestPortal)
#include "tst_portal.moc"
