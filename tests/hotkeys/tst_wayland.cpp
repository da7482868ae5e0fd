// End to end on a headless KDE Wayland session (kdesession.sh brings it up): the program is a
// Wayland client without the focus, hot keys come through the desktop's global shortcuts
// portal, and the paste reaches another program's native Wayland window (this executable
// started with --target, or konsole) through the remote desktop portal; a killed run of the
// program itself leaves hot keys behind for the next start to let go of. The window in a
// StatusNotifier tray (the test plays the tray) and back from the minimized state.
#include "support/testenv.h"
#include "xclient.h"

#include "app/application.h"
#include "hotkeys/platform.h"
#include "hotkeys/portal/portalplatform.h"
#include "hotkeys/portal/portalrequest.h"
#include "hotkeys/portal/portalshortcutbackend.h"
#include "mainwindow/mainwindow.h"
#include "store/macrostore.h"
#include "store/preferences.h"
#include "support/enginerig.h"
#include "tray/dbusmenuadaptor.h"

#include <QtDBus>
#include <QtTest>
#include <QtWidgets>

#include <X11/keysym.h>

namespace {

const QList<unsigned long> CtrlAlt{XK_Control_L, XK_Alt_L};
const int CtrlAltCode = Qt::CTRL | Qt::ALT;
const QString Greeting = QStringLiteral("Grüße aus Köln — €5,\nzweite Zeile ✓");

// What KDE's shortcut daemon bound for one of the program's combinations (0: nothing).
int boundKey(int code)
{
    QDBusMessage call = QDBusMessage::createMethodCall("org.kde.kglobalaccel", "/kglobalaccel",
                                                       "org.kde.KGlobalAccel", "shortcut");
    call.setArguments({QStringList{PortalShortcutBackend::sessionToken(), QString::number(code),
                                   QString(), QString()}});
    const QList<QVariant> reply = QDBusConnection::sessionBus().call(call).arguments();
    return reply.isEmpty() ? -1 : qdbus_cast<QList<int>>(reply.first()).value(0);
}

bool scriptLoaded(const QString &name)
{
    QDBusMessage call = QDBusMessage::createMethodCall("org.kde.KWin", "/Scripting",
                                                       "org.kde.kwin.Scripting", "isScriptLoaded");
    call.setArguments({name});
    return QDBusConnection::sessionBus().call(call).arguments().value(0).toBool();
}

// The target: a text field that writes its text to a file once it has the keyboard focus and
// after every change.
int runTarget(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QPlainTextEdit field;
    const QString path = QString::fromLocal8Bit(argv[2]);
    const auto save = [&field, path] {
        QFile file(path);
        if (field.isActiveWindow() && file.open(QIODevice::WriteOnly))
            file.write(field.toPlainText().toUtf8());
    };
    QObject::connect(&field, &QPlainTextEdit::textChanged, save);
    QObject::connect(&app, &QGuiApplication::focusWindowChanged, save);
    field.show();
    return QApplication::exec();
}

// The tray's side of the StatusNotifierItem protocol: the watcher items register with.
class TrayWatcher final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")

public Q_SLOTS:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString &service) { item = service; }

public:
    QString item;
};

} // namespace

class TestWayland final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    MacroStore m_store;
    std::unique_ptr<Platform> m_platform;
    XClient m_keyboard; // on the X server that hosts the compositor: the user's keyboard
    QTemporaryDir m_dir;
    QProcess m_target;

    // Gives KWin these keyboard layouts, as its settings would, and picks one.
    void useLayouts(const QString &layouts, uint inUse)
    {
        QFile config(qEnvironmentVariable("KQ_KWIN_CONFIG") + "/kxkbrc");
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("[Layout]\nUse=true\nLayoutList=" + layouts.toUtf8() + "\n");
        config.close();
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.send(QDBusMessage::createSignal("/Layouts", "org.kde.keyboard", "reloadConfig"));
        if (inUse == 0)
            return;
        const auto layoutCall = [&bus](const QString &method, const QVariantList &arguments) {
            QDBusMessage call = QDBusMessage::createMethodCall("org.kde.keyboard", "/Layouts",
                                                               "org.kde.KeyboardLayouts", method);
            call.setArguments(arguments);
            return bus.call(call).arguments().value(0);
        };
        // Picked once KWin has read the list: a reload after it would take the pick back.
        const auto count = [&layoutCall] {
            const auto list = layoutCall("getLayoutsList", {}).value<QDBusArgument>();
            int listed = 0;
            list.beginArray();
            for (; !list.atEnd(); ++listed) {
                QString name, variant, shown;
                list.beginStructure();
                list >> name >> variant >> shown;
                list.endStructure();
            }
            list.endArray();
            return listed;
        };
        QTRY_COMPARE(count(), int(layouts.count(',') + 1));
        QVERIFY(layoutCall("setLayout", {inUse}).toBool());
        QTRY_COMPARE(layoutCall("getLayout", {}).toUInt(), inUse);
    }

    QString arrived() const
    {
        QFile file(m_dir.filePath("arrived"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : "<none>";
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QGuiApplication::platformName().startsWith("wayland"));
        QVERIFY2(m_keyboard.isOpen(), "no X server under the compositor");
        // Xvfb repeats a held key as pairs of release and press, which KWin passes on as such;
        // KWin repeats a real keyboard's held chord as presses alone.
        m_keyboard.repeat(60000, 40);
        m_platform = Platform::create();
        // The desktop is asked in the background; meanwhile registrations wait.
        QTRY_VERIFY2(m_platform->shortcuts().description().contains("remote desktop portal"),
                     qPrintable(m_platform->shortcuts().description()));
        TestEnvironment::writeNote("Alpha", "greeting", CtrlAltCode | Qt::Key_A, Greeting);
        TestEnvironment::writeNote("Beta", "beta", CtrlAltCode | Qt::Key_B, "from Beta");
        TestEnvironment::writeNote("Gamma", "taken", CtrlAltCode | Qt::Key_Y, "never");
        TestEnvironment::writeNote("Gamma", "free", CtrlAltCode | Qt::Key_G, "free key");
        TestEnvironment::writeMasterMacro("No_keys&co");
        m_target.start(QCoreApplication::applicationFilePath(),
                       {"--target", m_dir.filePath("arrived")});
        QTRY_COMPARE_WITH_TIMEOUT(arrived(), QString(), 10000);
    }

    void statusNotifierTray_data()
    {
        QTest::addColumn<bool>("trayFirst");
        QTest::newRow("tray runs at start") << true;
        QTest::newRow("tray comes later") << false;
    }
    // Activate shows and hides the window; the tray draws the menu and passes its clicks on.
    void statusNotifierTray()
    {
        QFETCH(bool, trayFirst);
        QDBusConnection bus = QDBusConnection::sessionBus();
        TrayWatcher tray;
        bus.registerObject("/StatusNotifierWatcher", &tray, QDBusConnection::ExportScriptableSlots);
        const QString name = QStringLiteral("org.kde.StatusNotifierWatcher");
        const auto leave = qScopeGuard([&] { bus.unregisterService(name); });
        QVERIFY(!trayFirst || bus.registerService(name));
        Application program(*m_platform, nullptr, Application::Options{false});
        MainWindow &window = program.window();
        window.close();
        QTRY_COMPARE(window.isVisible(), !trayFirst); // minimized while there is no tray
        QVERIFY(trayFirst || bus.registerService(name));
        QTRY_VERIFY(!tray.item.isEmpty() && !window.isVisible());
        const auto call = [&](const QString &path, const QString &method, const QVariantList &in) {
            QDBusMessage message = QDBusMessage::createMethodCall(tray.item, path, {}, method);
            message.setArguments(in);
            return bus.call(message, QDBus::BlockWithGui).arguments();
        };
        for (const bool shown : {true, false}) {
            call("/StatusNotifierItem", "Activate", {0, 0});
            QTRY_COMPARE(window.isVisible(), shown);
        }
        const auto menu = qdbus_cast<DBusMenuLayout>(
            call("/MenuBar", "GetLayout", {0, -1, QStringList()}).value(1));
        QStringList labels;
        for (const DBusMenuLayout &entry : menu.children)
            labels << entry.properties.value("label").toString();
        QCOMPARE(labels, (QStringList{"Show Keyquill", "Pick a note…", "Preferences…", "", "Alpha",
                                      "Beta", "Gamma", "No__keys&co", "", "_Quit"}));
        call("/MenuBar", "Event",
             {menu.children.at(7).id, "clicked", QVariant::fromValue(QDBusVariant(0)), 0U});
        QTRY_COMPARE(window.live().name(), QStringLiteral("No_keys&co"));
    }

    // A client cannot take its own window out of the minimized state on Wayland.
    void secondStartBringsMinimizedWindowBack()
    {
        // KWin may take its time on a loaded machine.
        Application program(*m_platform, nullptr, Application::Options{false});
        MainWindow &window = program.window();
        window.showMaximized();
        QTRY_VERIFY_WITH_TIMEOUT(window.isActiveWindow(), 15000);
        window.showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isActiveWindow(), 15000);
        program.restore();
        QTRY_VERIFY_WITH_TIMEOUT(window.isActiveWindow(), 15000);
    }

    // A paste into the Wayland window; a switch of master macro that moves the keys; a
    // combination that another program holds left out, the others still working.
    void pastesThroughThePortals()
    {
        EngineRig rig(*m_platform, m_store);
        KeyRegistration &keys = rig.keys;
        LiveMaster &live = rig.live;
        live.choose("Alpha");
        QTRY_COMPARE(boundKey(CtrlAltCode | Qt::Key_A), CtrlAltCode | Qt::Key_A);
        m_keyboard.press(CtrlAlt, m_keyboard.keycode(XK_a));
        QTRY_COMPARE_WITH_TIMEOUT(arrived(), Greeting, 5000);

        live.choose("Beta");
        QTRY_COMPARE(boundKey(CtrlAltCode | Qt::Key_B), CtrlAltCode | Qt::Key_B);
        QTRY_COMPARE(boundKey(CtrlAltCode | Qt::Key_A), 0);
        // Had Alpha's key still fired, its text would arrive again first.
        m_keyboard.press(CtrlAlt, m_keyboard.keycode(XK_a));
        m_keyboard.press(CtrlAlt, m_keyboard.keycode(XK_b));
        QTRY_COMPARE_WITH_TIMEOUT(arrived(), Greeting + "from Beta", 5000);
        QTest::qWait(1500);
        QCOMPARE(arrived(), Greeting + "from Beta");

        // Another program's portal session holds Ctrl+Alt+Y first.
        Portal::registerTypes();
        const Portal::ShortcutList theirs{
            {"theirs", {{"description", "theirs"}, {"preferred_trigger", "CTRL+ALT+y"}}}};
        bool created = false;
        PortalRequest::call(
            Portal::GlobalShortcuts, "CreateSession",
            {QVariantMap{{"session_handle_token", "othertool"},
                         {"shortcuts", QVariant::fromValue(theirs)}}},
            this, [&created](uint response, const QVariantMap &) { created = response == 0; });
        QTRY_VERIFY(created);
        live.choose("Gamma");
        QTRY_COMPARE(keys.unavailable().keys(), QList<int>{CtrlAltCode | Qt::Key_Y});
        m_keyboard.press(CtrlAlt, m_keyboard.keycode(XK_g));
        QTRY_COMPARE_WITH_TIMEOUT(arrived(), Greeting + "from Beta" + "free key", 5000);
    }

    // The Qt field with the chord held two seconds (the desktop repeats it meanwhile), and a
    // terminal, which pastes with another key than the field; only KWin can tell them apart.
    void pastesWhereTyped_data()
    {
        QTest::addColumn<QString>("terminal"); // "" for the Qt field
        QTest::addColumn<int>("holdMs");
        QTest::newRow("Qt field, chord held 2 s") << "" << 2000;
        QTest::newRow("konsole") << "konsole --separate --nofork -e" << 0;
    }
    void pastesWhereTyped()
    {
        QFETCH(QString, terminal);
        QFETCH(int, holdMs);
        EngineRig rig(*m_platform, m_store);
        LiveMaster &live = rig.live;
        live.choose("Alpha");
        QTRY_COMPARE(boundKey(CtrlAltCode | Qt::Key_A), CtrlAltCode | Qt::Key_A);
        const QString typed = m_dir.filePath("typed");
        const auto got = [&] {
            return terminal.isEmpty() ? arrived()
                                      : QString::fromUtf8(TestEnvironment::fileBytes(typed));
        };
        const QString before = got();
        QProcess program;
        if (!terminal.isEmpty()) {
            program.startCommand(
                QString("%1 sh -c \"stty -icanon -echo; cat > %2\"").arg(terminal, typed));
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(typed), 20000);
            QTRY_COMPARE(m_platform->focus().focusedWindowClass().value(0),
                         terminal.section(' ', 0, 0));
        }
        const QList<unsigned long> chord{XK_Control_L, XK_Alt_L, XK_a};
        m_keyboard.keys(chord, true);
        QTest::qWait(holdMs);    // the user's own hold
        QCOMPARE(got(), before); // the paste waits for the chord to be let go of
        m_keyboard.keys(chord, false);
        QTRY_COMPARE_WITH_TIMEOUT(got(), before + Greeting, 5000);
        QTest::qWait(2000); // a second paste would be here by now
        QCOMPARE(got(), before + Greeting);
        program.kill();
        program.waitForFinished();
    }

    // "Pick a note" on one more portal shortcut: the popup takes the keyboard, a typed word finds
    // the note, and Enter sends it into the window that had the focus before.
    void quickPickPastesIntoThePreviousWindow()
    {
        Preferences preferences;
        preferences.setQuickPickShortcut(CtrlAltCode | Qt::Key_Q);
        QVERIFY(preferences.save());
        const auto off = qScopeGuard([] { Preferences().save(); });
        Application program(*m_platform, nullptr, Application::Options{false});
        MainWindow &window = program.window();
        window.close();
        QTRY_COMPARE(boundKey(CtrlAltCode | Qt::Key_Q), CtrlAltCode | Qt::Key_Q);
        // As the desktop's shortcut settings name it.
        const QString shortcuts = qEnvironmentVariable("KQ_KWIN_CONFIG") + "/kglobalshortcutsrc";
        QTRY_VERIFY(QSettings(shortcuts, QSettings::IniFormat)
                        .value(PortalShortcutBackend::sessionToken() + '/' +
                               QString::number(CtrlAltCode | Qt::Key_Q))
                        .toStringList()
                        .endsWith("Pick a note"));
        const QString before = arrived();
        m_keyboard.press(CtrlAlt, m_keyboard.keycode(XK_q));
        QTRY_VERIFY(QApplication::activeWindow() &&
                    QApplication::activeWindow()->inherits("QuickPickPopup"));
        for (unsigned long key : {XK_g, XK_r, XK_e, XK_e, XK_t})
            m_keyboard.press({}, m_keyboard.keycode(key));
        QTRY_COMPARE(QApplication::activeWindow()->findChild<QLineEdit *>("search")->text(),
                     QString("greet"));
        m_keyboard.press({}, m_keyboard.keycode(XK_Return));
        QTRY_COMPARE_WITH_TIMEOUT(arrived(), before + Greeting, 5000);
    }

    // "Put back what the clipboard held": what another program copied comes back after each
    // paste (as text, or as the one format it had), and {{clipboard}} reads that, never the text
    // a press before put there (pressed one after another, and while one is on its way).
    void clipboardPutBack_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("copied");
        QTest::addColumn<QString>("filled"); // what {{clipboard}} gives
        QTest::newRow("text") << "text/plain" << QByteArray("Grüße\n") << "Grüße\n";
        QTest::newRow("an image") << "image/png" << QByteArray("\x89PNG\r\n\x1a\n\0") << "";
    }
    void clipboardPutBack()
    {
        QFETCH(QString, format);
        QFETCH(QByteArray, copied);
        QFETCH(QString, filled);
        const auto wlPaste = [](const QStringList &arguments) {
            QProcess paste;
            paste.start("wl-paste", arguments);
            paste.waitForFinished();
            return paste.readAllStandardOutput();
        };
        QProcess copy;
        copy.start("wl-copy", {"--type", format});
        copy.write(copied);
        copy.closeWriteChannel();
        QVERIFY(copy.waitForFinished());
        TestEnvironment::writeNote("Clip", "clip", CtrlAltCode | Qt::Key_C, "[{{clipboard}}]");
        Preferences preferences;
        preferences.setRestoreClipboard(true);
        preferences.setExpandPlaceholders(true);
        EngineRig rig(*m_platform, m_store);
        rig.apply(preferences);
        LiveMaster &live = rig.live;
        live.choose("Clip");
        QTRY_COMPARE(boundKey(CtrlAltCode | Qt::Key_C), CtrlAltCode | Qt::Key_C);
        const QString before = arrived();
        QSignalSpy finished(&rig.engine, &DeliveryEngine::pasteFinished);
        for (const int presses : {1, 2}) {
            for (int press = 0; press < presses; ++press)
                m_keyboard.press(CtrlAlt, m_keyboard.keycode(XK_c));
            QTRY_COMPARE_WITH_TIMEOUT(finished.size(), presses == 1 ? 1 : 3, 10000);
            QTRY_COMPARE(wlPaste({"--no-newline", "--type", format}), copied);
        }
        const QString once = "[" + filled + "]";
        QTRY_COMPARE(arrived(), before + once + once + once);
        QVERIFY(wlPaste({"--list-types"}).contains(format.toUtf8()));
    }

    // Typed into the Qt field on the layouts KWin is given: each character as the layout in use
    // has it (the German degree sign is Shift and ^, never 0; ^ and ` are dead keys and Space),
    // and what it lacks left out and named, never another character in its place.
    void typesThroughThePortal_data()
    {
        QTest::addColumn<QString>("layouts"); // KWin's list
        QTest::addColumn<uint>("inUse");      // its index
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("leftOut");
        const QString german = "°0^` ê @€ßÄ{ Zy\n\t°";
        QTest::newRow("us") << "us" << 0u << "English (US)"
                            << "Typed, with Capitals!\n\tÄ then Ж then lower 123"
                            << "ÄЖ";
        QTest::newRow("de") << "de" << 0u << "German" << german << "";
        QTest::newRow("us,de: de in use") << "us,de" << 1u << "German" << german + "Ж"
                                          << "Ж";
    }
    void typesThroughThePortal()
    {
        QFETCH(QString, layouts);
        QFETCH(uint, inUse);
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, leftOut);
        auto *portal = dynamic_cast<PortalPlatform *>(&m_platform->keys());
        QVERIFY(portal);
        // Back to one that no row's layout can be taken for, before the next row starts.
        const auto reset = qScopeGuard([&] {
            useLayouts("us", 0);
            QTRY_COMPARE_WITH_TIMEOUT(portal->typingLayout(), QString("English (US)"), 10000);
        });
        useLayouts(layouts, inUse);
        QTRY_COMPARE_WITH_TIMEOUT(portal->typingLayout(), name, 10000);
        const QString before = arrived();
        QString failure = "not yet";
        m_platform->keys().typeText(text, [&failure](const QString &why) { failure = why; });
        QTRY_COMPARE_WITH_TIMEOUT(failure, QString(), 10000);
        QString typed = text;
        for (const QChar c : leftOut)
            typed.remove(c);
        QTRY_COMPARE_WITH_TIMEOUT(arrived().mid(before.size()), typed, 5000);
        QVERIFY(arrived().startsWith(before));
        QCOMPARE(m_platform->keys().typedWarning().contains(leftOut), true);
        QCOMPARE(m_platform->keys().typedWarning().isEmpty(), leftOut.isEmpty());
    }

    // KWin 5.27 does not let a program without the focus set the primary selection, which
    // Shift+Insert (xterm's paste key) pastes: what it held before must not be pasted instead.
    void noShiftInsertWithoutThePrimarySelection()
    {
        m_platform->clipboard().setClipboard("mine", QClipboard::Selection);
        QString failure;
        m_platform->keys().sendStroke(PasteStroke::ShiftInsert,
                                      [&failure](const QString &why) { failure = why; });
        QTRY_VERIFY(failure.contains("primary selection"));
    }

    // A run of the program killed outright leaves its hot keys bound in KDE's daemon, where they
    // would swallow their keys in every program; the next start lets go of them.
    // As a key bound in the desktop's own settings runs them, without any hot key of ours
    // bound: the command line delivers into the focused window and opens the pick.
    void commandLineFromTheDesktop()
    {
        QProcess program;
        program.start(KEYQUILL_BINARY, {"--minimize-to-tray"});
        const auto end = qScopeGuard([&program] {
            program.terminate();
            program.waitForFinished();
        });
        QTRY_COMPARE_WITH_TIMEOUT(QProcess::execute(KEYQUILL_BINARY, {"--list"}), 0, 15000);
        const QString before = arrived();
        QCOMPARE(QProcess::execute(KEYQUILL_BINARY, {"--deliver", "Beta/beta"}), 0);
        QTRY_COMPARE_WITH_TIMEOUT(arrived(), before + "from Beta", 5000);
        QCOMPARE(QProcess::execute(KEYQUILL_BINARY, {"--pick"}), 0);
        // The popup has the keyboard once the desktop names its program as the focused one.
        QTRY_VERIFY_WITH_TIMEOUT(m_platform->focus().focusedWindowClass().join(' ').contains(
                                     "keyquill", Qt::CaseInsensitive),
                                 5000);
        for (unsigned long key : {XK_g, XK_r, XK_e, XK_e, XK_t, XK_Return})
            m_keyboard.press({}, m_keyboard.keycode(key));
        QTRY_COMPARE_WITH_TIMEOUT(arrived(), before + "from Beta" + Greeting, 5000);
    }

    void nextStartReleasesWhatAKilledRunHeld()
    {
        QSettings().setValue("Preferences/tickLastLiveAtStart", true);
        QSettings().setValue("Preferences/lastLiveMasterMacro", "Beta");
        QProcess killed;
        killed.start(KEYQUILL_BINARY, {"--minimize-to-tray"});
        QTRY_COMPARE_WITH_TIMEOUT(boundKey(CtrlAltCode | Qt::Key_B), CtrlAltCode | Qt::Key_B,
                                  15000);
        // Its KWin script that names the focused window, too.
        const QString script = "keyquill-focus-" + QString::number(killed.processId());
        QTRY_VERIFY_WITH_TIMEOUT(scriptLoaded(script), 15000);
        killed.kill();
        QVERIFY(killed.waitForFinished());
        QTest::qWait(1000); // time for the portal to see it gone
        QCOMPARE(boundKey(CtrlAltCode | Qt::Key_B), CtrlAltCode | Qt::Key_B);
        QVERIFY(scriptLoaded(script));
        QSettings().setValue("Preferences/tickLastLiveAtStart", false);
        QProcess next;
        next.start(KEYQUILL_BINARY, {"--minimize-to-tray"});
        QTRY_COMPARE_WITH_TIMEOUT(boundKey(CtrlAltCode | Qt::Key_B), 0, 15000);
        QTRY_VERIFY(!scriptLoaded(script));
        next.kill();
        next.waitForFinished();
    }
};

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--target") == 0)
        return runTarget(argc, argv);
    QApplication app(argc, argv);
    TestWayland test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_wayland.moc"
