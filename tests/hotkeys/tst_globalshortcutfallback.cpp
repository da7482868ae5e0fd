// Without an X11 connection (offscreen here, a Wayland session in real life) hot keys quietly
// fail to register and everything else keeps working.
#include "hotkeys/globalshortcut.h"
#include "support/testenv.h"

#include <memory>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>

class TestGlobalShortcutFallback final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void registrationQuietlyFails();

private:
    TestEnvironment m_env;
};

void TestGlobalShortcutFallback::registrationQuietlyFails()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    auto parent = std::make_unique<QObject>();
    auto *a = new GlobalShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_A), parent.get());
    auto *b = new GlobalShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_A), parent.get());
    auto *none = new GlobalShortcut(QKeySequence(), parent.get());
    QVERIFY(!a->isRegistered());
    QVERIFY(!b->isRegistered());
    QVERIFY(!none->isRegistered());
    QCOMPARE(a->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_A));
    QSignalSpy spy(a, &GlobalShortcut::activated);
    delete a;
    // A fresh object after the others went still works the same way.
    parent.reset();
    GlobalShortcut again(QKeySequence(Qt::CTRL | Qt::Key_F1));
    QVERIFY(!again.isRegistered());
}

QTEST_MAIN(TestGlobalShortcutFallback)
#include "tst_globalshortcutfallback.moc"
