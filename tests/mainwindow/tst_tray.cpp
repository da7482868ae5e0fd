// The program in the notification area, on a real X server and a private session bus: a
// StatusNotifier tray (the test plays it) clicking the item and its menu however it sends the
// call, also as the item comes up; an X11 tray (trayer) whose menu opens and quits while a
// dialog of ours is open. What the program says of its own accord waits while the user is in
// another program, and an end from outside keeps an unsaved edit (the program itself, killed).
#include "support/modalanswerer.h"
#include "support/trayhost.h"
#include "support/windowfixture.h"

#include "mainwindow/unsavededit.h"
#include "tray/dbusmenuadaptor.h"
#include "tray/trayicon.h"

#include "store/preferences.h"

#include <QtDBus>
#include <QtNetwork>

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

QString output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(10000);
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

// The desktop's notifications: what they were asked to show.
class Notifications final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public Q_SLOTS:
    Q_SCRIPTABLE uint Notify(const QString &, uint, const QString &, const QString &summary,
                             const QString &, const QStringList &, const QVariantMap &, int)
    {
        summaries << summary;
        return uint(summaries.size());
    }

public:
    QStringList summaries;
};

} // namespace

class TestTray final : public WindowFixture
{
    Q_OBJECT

    TrayHost m_trayHost;

    QSystemTrayIcon *tray() const { return m_window->findChild<QSystemTrayIcon *>(); }
    // The icon's own window in the X11 tray, once docked.
    QWidget *docked() const
    {
        tray()->setToolTip("this icon"); // tells it from the icons of other windows
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (widget->toolTip() == "this icon" && widget->isVisible())
                return widget;
        return nullptr;
    }
    // As the X server has it: not only shown, but on the screen.
    static bool mapped(QWidget *window)
    {
        return window->isVisible() &&
               output("xwininfo", {"-id", QString::number(window->winId())}).contains("IsViewable");
    }
    static void click(QWidget *window, QPoint at, int button)
    {
        QProcess::execute("xdotool", {"mousemove", "--window", QString::number(window->winId()),
                                      QString::number(at.x()), QString::number(at.y()), "click",
                                      QString::number(button)});
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(QDBusConnection::sessionBus().isConnected(), "no session bus"); }
    void cleanup() { m_trayHost.stop(); }

    void statusNotifierItem_data()
    {
        QTest::addColumn<bool>("trayFirst");
        // How the tray sends: "reply", "no reply", "signal"; "restore" is a second start.
        QTest::addColumn<QString>("how");
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
        remake();
        m_window->close(); // as at a start in the tray
        if (how == "restore") {
            m_app->restore();
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

    void trayMenuOverDialogs_data()
    {
        QTest::addColumn<QString>("dialog"); // the command that opens it; "input" for an input's
        QTest::addColumn<bool>("edited");    // a note's edit pending: "&Quit" asks about it
        QTest::newRow("Preferences") << "Preferences…" << false;
        QTest::newRow("About, an edit pending") << "&About" << true;
        QTest::newRow("input window") << "input" << false;
    }
    // The menu opens over the dialog, with what cannot act now off, and "&Quit" ends the program.
    void trayMenuOverDialogs()
    {
        QFETCH(QString, dialog);
        QFETCH(bool, edited);
        QVERIFY(m_trayHost.start());
        QWidget *icon = nullptr;
        QTRY_VERIFY((icon = docked()) != nullptr);
        QTRY_VERIFY(mapped(icon));
        if (edited) {
            m_tree->setCurrentItem(m_tree->topLevelItem(1)->child(0)); // Work/bye
            QTest::keyClicks(m_window->findChild<QTextEdit *>("macro"), "x");
            m_dialogs->choices = {1}; // drop it
        }
        TestEnvironment::writeNote("Work", "hello", CtrlAltA, "Hello {{input:Name}}");
        Preferences preferences;
        preferences.setExpandPlaceholders(true);
        m_app->apply(preferences);
        m_window->live().choose("Home");
        bool mastersOn = !edited;
        ModalAnswerer answerer;
        answerer.expect([&](QWidget *) {
            click(icon, {5, 5}, 3);
            QMenu *menu = tray()->contextMenu();
            if (!QTest::qWaitFor([menu] { return mapped(menu); }))
                return; // left open: the test ends on its deadline
            mastersOn = menu->actions().first()->isEnabled();
            click(menu, menu->actionGeometry(menu->actions().last()).center(), 1); // "&Quit"
        });
        QTimer::singleShot(0, this, [&] {
            if (dialog != "input")
                return trigger(dialog);
            m_window->live().choose("Work");
            m_platform.press(CtrlAltA);
        });
        QTimer deadline;
        connect(&deadline, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        deadline.start(10000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(mastersOn, !edited);
        QCOMPARE(m_dialogs->asked.size(), int(edited)); // the question about the edit
    }

    // At log-in, in the tray, without a network: the update check's error is said in the tray,
    // and its box waits for the user to come to the window, leaving the keyboard where it is.
    void updateErrorWaitsForTheWindow()
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        TrayWatcher watcher;
        Notifications notifications;
        bus.registerObject("/StatusNotifierWatcher", &watcher,
                           QDBusConnection::ExportScriptableSlots);
        bus.registerObject("/org/freedesktop/Notifications", &notifications,
                           QDBusConnection::ExportScriptableSlots);
        const auto leave = qScopeGuard([&] {
            for (const char *name :
                 {"org.kde.StatusNotifierWatcher", "org.freedesktop.Notifications"})
                bus.unregisterService(name);
            bus.unregisterObject("/StatusNotifierWatcher");
            bus.unregisterObject("/org/freedesktop/Notifications");
        });
        QVERIFY(bus.registerService(Watcher) &&
                bus.registerService("org.freedesktop.Notifications"));
        QProcess other;
        other.start("xterm", {"-T", "keyquill-other"});
        const auto end = qScopeGuard([&other] {
            other.kill();
            other.waitForFinished();
        });
        QCOMPARE(QProcess::execute("xdotool", {"search", "--sync", "--onlyvisible", "--name",
                                               "keyquill-other", "windowfocus", "--sync"}),
                 0);
        const QString focused = output("xdotool", {"getwindowfocus"});
        QTcpServer gone; // its port is free again: the connection is refused
        gone.listen(QHostAddress::LocalHost);
        qputenv("KEYQUILL_UPDATE_SERVER",
                QByteArray("127.0.0.1:") + QByteArray::number(gone.serverPort()));
        gone.close();
        const auto quiet = qScopeGuard(
            [this] { qputenv("KEYQUILL_UPDATE_SERVER", m_env.updateServer().toLatin1()); });
        bool cameBack = false; // the user came to the window
        QString told;          // by the box, "early" before that
        ModalAnswerer answerer;
        answerer.expect([&cameBack, &told](QWidget *box) {
            told = cameBack ? static_cast<QMessageBox *>(box)->text() : "early";
            static_cast<QMessageBox *>(box)->accept();
        });
        m_app.reset();
        m_app = std::make_unique<Application>(m_platform.platform(), nullptr,
                                              Application::Options{}); // the program's own boxes
        m_window = &m_app->window();
        m_window->close();
        QTRY_COMPARE(notifications.summaries, QStringList{"Error checking for updates"});
        QCOMPARE(told, QString());
        QCOMPARE(output("xdotool", {"getwindowfocus"}), focused);
        cameBack = true;
        m_window->showMaximized();
        m_window->activateWindow();
        QTRY_VERIFY(told.startsWith("Error occured while contacting update server.\r\n\r\n"
                                    "Error Description:\r\n"));
    }

    // A log-out's SIGTERM saves nothing and asks nothing: the edit is kept, privately.
    void endFromOutsideKeepsTheEdit()
    {
        m_app.reset();
        QProcess program;
        program.start(KEYQUILL_BINARY, {});
        const QString window =
            output("xdotool", {"search", "--sync", "--onlyvisible", "--pid",
                               QString::number(program.processId()), "--name", "Key-Quill"});
        // The keyboard starts in the tree: Home, the first note, on to the text.
        QCOMPARE(QProcess::execute("xdotool", {"windowfocus", "--sync", window, "key", "--delay",
                                               "20", "Home", "Down", "Tab", "Tab", "Tab", "Tab",
                                               "Tab", "x", "ctrl+a", "ctrl+c"}),
                 0);
        QTRY_COMPARE(QGuiApplication::clipboard()->text(), "xHome"); // the keys have arrived
        program.terminate();
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitCode(), 0);
        bool damaged = true;
        const std::optional<UnsavedEdit> kept = UnsavedEdit::read(&damaged);
        QVERIFY(kept && !damaged);
        QCOMPARE(kept->master + '/' + kept->note + '|' + kept->text, "Home/h|xHome");
        QCOMPARE(kept->code, CtrlAltA);
        QCOMPARE(TestEnvironment::storeDump().first(),
                 QStringLiteral("Home/h|%1|Home").arg(CtrlAltA));
        UnsavedEdit::forget();
    }
};

QTEST_MAIN(TestTray)
#include "tst_tray.moc"
