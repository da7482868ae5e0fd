// The main window's form, actions, menus, tray and ads panel, as built by the constructor.
#include "mainwindow/mainwindow.h"
#include "support/testenv.h"

#include "buildconfig.h"

#include <memory>
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QImageReader>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

struct MainWindowTester
{
    MainWindow &window;

    QSystemTrayIcon *trayIcon() const { return window.m_trayIcon; }
    QMenu *trayMenu() const { return window.m_trayMenu; }
    QAction *quitAction() const { return window.m_quitAction; }

    // True when the action's triggered() reaches the given private slot; the connection is
    // taken away, so that a test can press the key without running the slot.
    bool takePrintConnections(QAction *&print, QAction *&printAll) const
    {
        print = window.m_printAction;
        printAll = window.m_printAllAction;
        return QObject::disconnect(print, &QAction::triggered, &window,
                                   &MainWindow::printMasterMacro) &&
               QObject::disconnect(printAll, &QAction::triggered, &window,
                                   &MainWindow::printAllMasterMacros);
    }
};

namespace {

QStringList texts(const QList<QAction *> &actions)
{
    QStringList result;
    for (const QAction *action : actions)
        result.append(action->isSeparator() ? QStringLiteral("|") : action->text());
    return result;
}

QByteArray resource(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestMainWindowForm final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void objects_data();
    void objects();
    void tabOrder();
    void keyList_data();
    void keyList();
    void actions();
    void menusAndToolBar();
    void treeContextMenu();
    void printShortcuts();
    void tray();
    void closeHides();
    void closingAnotherWindowDoesNotQuit();
    void trayActivation_data();
    void trayActivation();
    void images_data();
    void images();
    void adsPageStructure();

private:
    template <typename T> T *child(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }
    QAction *actionNamed(const QString &text) const;

    TestEnvironment m_env;
    std::unique_ptr<MainWindow> m_window;
};

QAction *TestMainWindowForm::actionNamed(const QString &text) const
{
    const auto all = m_window->findChildren<QAction *>();
    for (QAction *action : all) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

void TestMainWindowForm::init()
{
    TestEnvironment::clearStore();
    m_window = std::make_unique<MainWindow>();
}

void TestMainWindowForm::cleanup()
{
    m_window.reset();
}

void TestMainWindowForm::objects_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text"); // title or button text; "" when it has none to check
    const auto row = [](const char *name, const char *cls, const char *text = "") {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls)
                            << QString::fromLatin1(text);
    };
    row("splitter", "QSplitter");
    row("treeMacros", "CheckTreeWidget");
    row("groupBox", "QGroupBox", "Shortcut");
    row("shortcutCtrl", "QCheckBox", "Ctrl");
    row("shortcutAlt", "QCheckBox", "Alt");
    row("shortcutShift", "QCheckBox", "Shift");
    row("shortcutKey", "QComboBox");
    row("groupBox_2", "QGroupBox", "Note Text");
    row("macro", "QTextEdit");
    row("btnUpdate", "QPushButton", "Update Note");
    row("btnRevert", "QPushButton", "Cancel");
    row("expandable", "QGroupBox");
    row("btnExpand", "QPushButton", "Expand");
    row("ads", "QTextBrowser");
    row("menuBar", "QMenuBar");
    row("mainToolBar", "QToolBar");
    row("statusBar", "QStatusBar");
}

void TestMainWindowForm::objects()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, text);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Key-Quill by Orlenvar"));
    QWidget *widget = m_window->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        QCOMPARE(button->text(), text);
    else if (auto *box = qobject_cast<QGroupBox *>(widget))
        QCOMPARE(box->title(), text);

    auto *tree = child<QTreeWidget>("treeMacros");
    QCOMPARE(tree->headerItem()->text(0), QStringLiteral("Master Macros / Notes"));
    QCOMPARE(tree->headerItem()->text(1), QStringLiteral("Shortcut"));
    QVERIFY(!child<QWidget>("btnUpdate")->isEnabled());
    QVERIFY(!child<QWidget>("btnRevert")->isEnabled());
    auto *ads = child<QTextBrowser>("ads");
    QCOMPARE(ads->source(), QUrl(QStringLiteral("qrc:/html/ads.html")));
    QVERIFY(!ads->openLinks());
}

void TestMainWindowForm::tabOrder()
{
    const QStringList expected{"treeMacros",    "shortcutCtrl", "shortcutAlt",
                               "shortcutShift", "shortcutKey",  "macro"};
    QStringList found;
    QWidget *widget = child<QWidget>("treeMacros");
    for (int steps = 0; found.size() < expected.size() && steps < 200; ++steps) {
        if (expected.contains(widget->objectName()) && !found.contains(widget->objectName()))
            found.append(widget->objectName());
        widget = widget->nextInFocusChain();
    }
    QCOMPARE(found, expected);
}

void TestMainWindowForm::keyList_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("code");
    QTest::newRow("first") << 0 << "F1" << 0x01000030;
    QTest::newRow("digit 0") << 12 << "0" << 0x30;
    QTest::newRow("last") << 47 << "Z" << 0x5A;
}

void TestMainWindowForm::keyList()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(int, code);
    auto *keys = child<QComboBox>("shortcutKey");
    QCOMPARE(keys->count(), 48);
    QCOMPARE(keys->currentIndex(), 0);
    QCOMPARE(keys->itemText(index), text);
    QCOMPARE(keys->itemData(index).toInt(), code);
    for (int i = 0; i < keys->count(); ++i)
        QCOMPARE(QKeySequence(keys->itemData(i).toInt()).toString(), keys->itemText(i));
}

void TestMainWindowForm::actions()
{
    // Every action once, with its shortcut; the window's own ones are not in the tree's menu.
    QStringList found;
    const auto all = m_window->findChildren<QAction *>();
    for (const QAction *action : all) {
        if (!action->text().isEmpty() && !action->menu())
            found << action->text() + QLatin1Char('|') + action->shortcut().toString() +
                         QLatin1Char('|') + action->parent()->objectName();
    }
    found.sort();
    QCOMPARE(found,
             QStringList({"&About||MainWindow", "&Export Master Macro||treeMacros",
                          "&Import Master Macro||treeMacros", "&Instructions||MainWindow",
                          "&Print All Master Macros|Ctrl+Alt+P|treeMacros",
                          "&Print Master Macro|Ctrl+P|treeMacros", "&Quit||MainWindow",
                          "Add Master Macro||treeMacros", "Add Note||treeMacros",
                          "Delete||treeMacros", "Preferences…||MainWindow", "Rename||treeMacros"}));
}

void TestMainWindowForm::menusAndToolBar()
{
    auto *menuBar = child<QMenuBar>("menuBar");
    QCOMPARE(texts(menuBar->actions()), QStringList({"&File", "&Edit", "|", "&Help"}));
    QCOMPARE(texts(menuBar->actions().at(0)->menu()->actions()),
             QStringList({"&Export Master Macro", "&Import Master Macro", "|",
                          "&Print Master Macro", "&Print All Master Macros", "|", "&Quit"}));
    QCOMPARE(
        texts(menuBar->actions().at(1)->menu()->actions()),
        QStringList({"Add Master Macro", "Add Note", "Rename", "Delete", "|", "Preferences…"}));
    QCOMPARE(texts(menuBar->actions().at(3)->menu()->actions()),
             QStringList({"&About", "&Instructions"}));
    QCOMPARE(texts(child<QToolBar>("mainToolBar")->actions()),
             QStringList({"Add Master Macro", "Add Note"}));
    // The same action objects everywhere, so enabling and shortcuts stay in step.
    QCOMPARE(child<QToolBar>("mainToolBar")->actions().at(0),
             menuBar->actions().at(1)->menu()->actions().at(0));
}

void TestMainWindowForm::treeContextMenu()
{
    const auto actions = child<QWidget>("treeMacros")->actions();
    QCOMPARE(texts(actions), QStringList({"Add Master Macro", "Add Note", "Rename", "Delete",
                                          "&Print Master Macro", "&Print All Master Macros"}));
    for (QAction *action : actions)
        QCOMPARE(actionNamed(action->text()), action);
}

void TestMainWindowForm::printShortcuts()
{
    QAction *print = nullptr;
    QAction *printAll = nullptr;
    MainWindowTester tester{*m_window};
    QVERIFY(tester.takePrintConnections(print, printAll));
    QSignalSpy printSpy(print, &QAction::triggered);
    QSignalSpy printAllSpy(printAll, &QAction::triggered);

    m_window->show();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window.get(), Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(printSpy.count(), 1);
    QCOMPARE(printAllSpy.count(), 0);
    QTest::keyClick(m_window.get(), Qt::Key_P, Qt::ControlModifier | Qt::AltModifier);
    QCOMPARE(printSpy.count(), 1);
    QCOMPARE(printAllSpy.count(), 1);
}

void TestMainWindowForm::tray()
{
    MainWindowTester tester{*m_window};
    QSystemTrayIcon *icon = tester.trayIcon();
    QVERIFY(icon->isVisible());
    QCOMPARE(icon->toolTip(), m_window->windowTitle());
    QCOMPARE(icon->contextMenu(), tester.trayMenu());
    const auto entries = tester.trayMenu()->actions();
    QCOMPARE(texts(entries), QStringList({"|", "&Quit"}));
    QCOMPARE(entries.at(1), tester.quitAction());

    // "&Quit" ends the event loop, also with the window hidden.
    QVERIFY(!m_window->isVisible());
    QTimer::singleShot(0, entries.at(1), &QAction::trigger);
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
    QCOMPARE(QCoreApplication::exec(), 0);
}

void TestMainWindowForm::closeHides()
{
    QPointer<MainWindow> window = m_window.get();
    QSignalSpy lastClosed(qApp, &QGuiApplication::lastWindowClosed);
    QVERIFY(!m_window->close()); // before the first show too
    m_window->showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(!m_window->close()); // refused: only hidden
    QVERIFY(window);
    QVERIFY(!m_window->isVisible());
    QVERIFY(MainWindowTester{*m_window}.trayIcon()->isVisible());
    QCOMPARE(lastClosed.count(), 0);
}

void TestMainWindowForm::closingAnotherWindowDoesNotQuit()
{
    // Hidden in the tray, the program must outlive any other window (a message box without a
    // parent, for instance): only "&Quit" ends it.
    QVERIFY(!m_window->close());
    QWidget other;
    QTimer::singleShot(0, &other, [&other] {
        other.show();
        QTimer::singleShot(100, &other, &QWidget::close);
    });
    QTimer::singleShot(1000, qApp, [] { QCoreApplication::exit(7); });
    QCOMPARE(QCoreApplication::exec(), 7);
}

void TestMainWindowForm::trayActivation_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<bool>("toggles");
    QTest::newRow("double click") << QSystemTrayIcon::DoubleClick << true;
    QTest::newRow("single click") << QSystemTrayIcon::Trigger << false;
    QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick << false;
    QTest::newRow("context") << QSystemTrayIcon::Context << false;
}

void TestMainWindowForm::trayActivation()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QFETCH(bool, toggles);
    QSystemTrayIcon *icon = MainWindowTester{*m_window}.trayIcon();

    // Hidden and never maximized before: comes back maximized.
    Q_EMIT icon->activated(reason);
    QCOMPARE(m_window->isVisible(), toggles);
    if (toggles)
        QVERIFY(m_window->windowState() & Qt::WindowMaximized);

    m_window->showNormal();
    Q_EMIT icon->activated(reason);
    QCOMPARE(m_window->isVisible(), !toggles);
}

void TestMainWindowForm::images_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("colorType"); // PNG colour type: 6 = RGBA, 3 = palette
    QTest::newRow("main") << ":/images/icon_main.png" << QSize(32, 32) << 6;
    QTest::newRow("master macro") << ":/images/icon_master_macro.png" << QSize(16, 16) << 6;
    QTest::newRow("note") << ":/images/icon_macro.png" << QSize(16, 16) << 6;
    QTest::newRow("in use") << ":/images/icon_in_use.png" << QSize(32, 32) << 6;
    QTest::newRow("expand") << ":/images/expand.png" << QSize(128, 128) << 6;
    QTest::newRow("donate") << ":/images/btn_paypal_donate.png" << QSize(122, 47) << 3;
}

void TestMainWindowForm::images()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(int, colorType);
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("png"));
    QCOMPARE(reader.size(), size);
    const QImage image = reader.read();
    // PNG colour type 3 reads as an indexed image; 6 (RGBA) with an alpha channel.
    QCOMPARE(image.format() == QImage::Format_Indexed8, colorType == 3);
    QCOMPARE(image.hasAlphaChannel(), colorType == 6);
}

void TestMainWindowForm::adsPageStructure()
{
    const QString page = QString::fromUtf8(resource(QStringLiteral(":/html/ads.html")));
    QStringList headings;
    QRegularExpression h1(QStringLiteral("<h1>(.*?)</h1>"));
    for (auto it = h1.globalMatch(page); it.hasNext();)
        headings.append(it.next().captured(1));
    QCOMPARE(headings, QStringList({"Instructions", "Donation", "Information"}));
    // Every outside address is the vendor's host or a reserved example domain.
    const QString host = QStringLiteral(KEYQUILL_VENDOR_HOST);
    QRegularExpression link(QStringLiteral("href=\"(?:http://|mailto:[^@\"]*@)([^/\"]+)"));
    for (auto it = link.globalMatch(page); it.hasNext();) {
        const QString linkHost = it.next().captured(1);
        QVERIFY2(linkHost == host || linkHost.endsWith(QStringLiteral(".example")),
                 qPrintable(linkHost));
    }
}

QTEST_MAIN(TestMainWindowForm)
#include "tst_mainwindowform.moc"
