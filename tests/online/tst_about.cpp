// The About dialog, the instructions command and the ads panel: pages that stay put, links that
// leave through the system's browser or mail program.
#include "buildconfig.h"
#include "mainwindow/mainwindow.h"
#include "online/aboutdlg.h"
#include "support/testenv.h"

#include <QAction>
#include <QDesktopServices>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

namespace {

const QString Vendor = QStringLiteral("http://" KEYQUILL_VENDOR_HOST);
const QString Mail = QStringLiteral("mailto:support@corvane.example");

// Clicks the link to `href` in a shown browser, as a user would; false when there is none.
bool clickLink(QTextBrowser *browser, const QString &href)
{
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().anchorHref() != href)
                continue;
            QTextCursor cursor(block);
            cursor.setPosition(it.fragment().position()); // before the link's first character
            browser->setTextCursor(cursor);
            browser->ensureCursorVisible();
            const QPoint point = browser->cursorRect(cursor).center() + QPoint(2, 0);
            QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, point);
            return browser->anchorAt(point) == href;
        }
    return false;
}

} // namespace

class TestAbout final : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    // Stands in for the system's browser and mail program.
    void open(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void linksLeaveThroughTheSystem();

private:
    TestEnvironment m_env;
    QList<QUrl> m_opened;
};

void TestAbout::initTestCase()
{
    for (const char *scheme : {"http", "https", "mailto"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
}

void TestAbout::cleanupTestCase()
{
    for (const char *scheme : {"http", "https", "mailto"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

// The About dialog's mail link and every link of the ads panel, the donation image included, go
// to the system, and the pages stay; "Instructions" opens the panel's first link.
void TestAbout::linksLeaveThroughTheSystem()
{
    AboutDlg dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *about = dialog.findChild<QTextBrowser *>(QStringLiteral("about"));
    QVERIFY(clickLink(about, Mail));
    QCOMPARE(m_opened, QList<QUrl>{QUrl(Mail)});
    QVERIFY(dialog.isVisible());
    QVERIFY(about->toPlainText().contains(QStringLiteral("\nVersion: v1.0.0\n")));

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *ads = window.findChild<QTextBrowser *>(QStringLiteral("ads"));
    const QString page = ads->toHtml();
    const QList<QUrl> links = {Vendor + "/corvane_key_quill.php", Vendor + "/donate.php", Mail};
    for (const QUrl &link : links)
        QVERIFY2(clickLink(ads, link.toString()), qPrintable(link.toString()));
    QCOMPARE(m_opened.mid(1), links);
    QCOMPARE(ads->toHtml(), page);
    for (QAction *action : window.findChildren<QAction *>())
        if (action->text() == QStringLiteral("&Instructions"))
            action->trigger();
    QCOMPARE(m_opened.mid(1), links + QList<QUrl>{links.first()});
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
