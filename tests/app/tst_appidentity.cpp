#include "app/appidentity.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QTest>

class TestAppIdentity final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void identity();
    void minimizeToTrayOption_data();
    void minimizeToTrayOption();

private:
    TestEnvironment m_env;
};

void TestAppIdentity::identity()
{
    AppIdentity::apply();
    QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("Corvane"));
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Keyquill"));
    QCOMPARE(QCoreApplication::applicationVersion(), QStringLiteral("1.0.0"));
    QVERIFY(QCoreApplication::organizationDomain().endsWith(QStringLiteral(".example")));
}

void TestAppIdentity::minimizeToTrayOption_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("recognised");
    const QString program = QStringLiteral("/usr/bin/keyquill");
    QTest::newRow("none") << QStringList{program} << false;
    QTest::newRow("exact") << QStringList{program, QStringLiteral("--minimize-to-tray")} << true;
    QTest::newRow("among others") << QStringList{program, QStringLiteral("-x"),
                                                 QStringLiteral("--minimize-to-tray"),
                                                 QStringLiteral("y")}
                                  << true;
    QTest::newRow("other case") << QStringList{program, QStringLiteral("--Minimize-To-Tray")}
                                << false;
    QTest::newRow("with value") << QStringList{program, QStringLiteral("--minimize-to-tray=1")}
                                << false;
    QTest::newRow("single dash") << QStringList{program, QStringLiteral("-minimize-to-tray")}
                                 << false;
    QTest::newRow("trailing space")
        << QStringList{program, QStringLiteral("--minimize-to-tray ")} << false;
    QTest::newRow("as program path") << QStringList{QStringLiteral("--minimize-to-tray")} << true;
}

void TestAppIdentity::minimizeToTrayOption()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, recognised);
    QCOMPARE(AppIdentity::wantsMinimizeToTray(arguments), recognised);
}

QTEST_GUILESS_MAIN(TestAppIdentity)
#include "tst_appidentity.moc"
