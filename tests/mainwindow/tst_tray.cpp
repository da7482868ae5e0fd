// The program in the notification area, on a real X server and a private session bus: a
// StatusNotifier tray (the test plays it) clicking the item and its menu however it sends the
// call, also as the item comes up.
#include "support/windowfixture.h"

#include "mainwindow/dbusmenuadaptor.h"
#include "mainwindow/trayicon.h"

#include <QtDBus>

namespace {

const QString Watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString Item = QStringLiteral("org.kde.StatusNotifierItem");
const QString Menu = QStringLiteral("com.canonical.dbusmenu");

// The tray's side of the StatusNotifierItem protocol: the watcher items register with. A tray
// may activate an item the moment it has it, before the registration is even answered.
class TrayWatcher final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")

public Q_SLOTS:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString &service)
    {
        item = service;
        if (activateAtOnce)
            QDBusConnection::sessionBus().send(
                QDBusMessage::createMethodCall(service, "/StatusNotifierItem", Item, "Activate")
                << 0 << 0);
    }

public:
    QString item;
    bool activateAtOnce = false;
};

} // namespace

class TestTray final : public WindowFixture
{
    Q_OBJECT

    QSystemTrayIcon *tray() const { return m_window->findChild<QSystemTrayIcon *>(); }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no session bus"); }

    void statusNotifierItem_data()
    {
        QTest::addColumn<bool>("trayFirst");
        QTest::addColumn<QString>(
            "how"); // "reply", "no reply", "signal"; "restore": a second start
        QTest::addColumn<bool>("atOnce"); // the tray activates the item as it takes it
        QTest::newRow("calls") << true << "reply" << false;
        QTest::newRow("calls without waiting for a reply") << true << "no reply" << false;
        QTest::newRow("signals, as dbus-send sends them") << true << "signal" << false;
        QTest::newRow("tray comes later, activates at once") << false << "reply" << true;
        // Before the bus has said whether a tray runs: the window stays up.
        QTest::newRow("second start at once, no tray") << false << "restore" << false;
    }
    // Activate shows and hides the window, ContextMenu opens the menu, a tray drawing the menu
    // itself gets its entries and passes its clicks on.
    void statusNotifierItem()
    {
        QFETCH(bool, trayFirst);
        QFETCH(QString, how);
        QFETCH(bool, atOnce);
        QDBusConnection bus = QDBusConnection::sessionBus();
        TrayWatcher watcher;
        watcher.activateAtOnce = atOnce;
        bus.registerObject("/StatusNotifierWatcher", &watcher,
                           QDBusConnection::ExportScriptableSlots);
        const auto leave = qScopeGuard([&] {
            bus.unregisterService(Watcher);
            bus.unregisterObject("/StatusNotifierWatcher");
        });
        QVERIFY(!trayFirst || bus.registerService(Watcher));
        m_window = std::make_unique<MainWindow>(m_platform, m_dialogs.get());
        m_window->close(); // as at a start in the tray
        if (how == "restore") {
            m_window->restore();
            QTRY_VERIFY(tray()->isVisible()); // known: no StatusNotifier tray
            QVERIFY(m_window->isVisible() && !m_window->isMinimized());
            return;
        }
        if (!trayFirst) {
            QTRY_VERIFY(m_window->isMinimized()); // while there is no tray
            QVERIFY(bus.registerService(Watcher));
        }
        QTRY_VERIFY(!watcher.item.isEmpty());
        QTRY_VERIFY(!tray()->isVisible()); // the registration answered
        QCOMPARE(m_window->isVisible() && !m_window->isMinimized(), atOnce);
        if (atOnce)
            return;

        const auto send = [&](const QString &path, const QString &interface, const QString &method,
                              const QVariantList &arguments) {
            QDBusMessage message =
                how == "signal"
                    ? QDBusMessage::createTargetedSignal(watcher.item, path, interface, method)
                    : QDBusMessage::createMethodCall(watcher.item, path, interface, method);
            message.setArguments(arguments);
            if (how == "reply")
                return bus.call(message, QDBus::BlockWithGui).type() == QDBusMessage::ReplyMessage;
            return bus.send(message);
        };
        for (const bool shown : {true, false}) {
            QVERIFY(send("/StatusNotifierItem", Item, "Activate", {0, 0}));
            QTRY_COMPARE(m_window->isVisible(), shown);
        }
        QSignalSpy opening(m_window->findChild<TrayIcon *>(), &TrayIcon::menuAboutToShow);
        QVERIFY(send("/MenuBar", Menu, "AboutToShow", {0}));
        QTRY_COMPARE(opening.size(), 1);
        QVERIFY(send("/StatusNotifierItem", Item, "ContextMenu", {10, 10}));
        QTRY_VERIFY(tray()->contextMenu()->isVisible());
        tray()->contextMenu()->hide();
        QDBusMessage layout =
            QDBusMessage::createMethodCall(watcher.item, "/MenuBar", Menu, "GetLayout");
        layout << 0 << -1 << QStringList();
        const auto menu =
            qdbus_cast<DBusMenuLayout>(bus.call(layout, QDBus::BlockWithGui).arguments().value(1));
        QCOMPARE(menu.children.value(1).properties.value("label"), QVariant("Work"));
        QVERIFY(
            send("/MenuBar", Menu, "Event",
                 {menu.children.at(1).id, "clicked", QVariant::fromValue(QDBusVariant(0)), 0U}));
        QTRY_COMPARE(m_window->live().name(), QStringLiteral("Work"));
    }
};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
