// The About dialog, the instructions command and the ads panel: pages that stay put, links that
// leave through the system.
#include "buildconfig.h"
#include "mainwindow/mainwindow.h"
#include "online/aboutdlg.h"
#include "support/modalanswerer.h"
#include "support/testenv.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>

struct MainWindowTester
{
    static void helpAbout(MainWindow &window) { window.helpAbout(); }
    static void helpInstructions(MainWindow &window) { window.helpInstructions(); }
};

// Stands in for the system's browser and mail program.
class UrlRecorder final : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl &url) { urls.append(url); }
};

namespace {

const QString VendorHost = QStringLiteral(KEYQUILL_VENDOR_HOST);
const QString SupportMail = QStringLiteral("mailto:support@corvane.example");

// A point of the browser's viewport over the link to `href`, scrolled into view; or (-1, -1).
QPoint linkPoint(QTextBrowser *browser, const QString &href)
{
    QTextDocument *document = browser->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().anchorHref() != href)
                continue;
            QTextCursor cursor(document);
            cursor.setPosition(fragment.position());
            browser->setTextCursor(cursor);
            browser->ensureCursorVisible();
            const QSize size = browser->viewport()->size();
            for (int y = 0; y < size.height(); y += 2)
                for (int x = 0; x < size.width(); x += 2)
                    if (browser->anchorAt(QPoint(x, y)) == href)
                        return QPoint(x, y);
            return QPoint(-1, -1);
        }
    }
    return QPoint(-1, -1);
}

// The first link of the page.
QString firstLink(QTextBrowser *browser)
{
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (!it.fragment().charFormat().anchorHref().isEmpty())
                return it.fragment().charFormat().anchorHref();
    return QString();
}

} // namespace

class TestAbout final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void aboutPage();
    void aboutMailLinkLeavesThroughTheSystem();
    void helpAboutRunsTheDialog();
    void adsLinksLeaveThroughTheSystem_data();
    void adsLinksLeaveThroughTheSystem();
    void instructionsOpenTheInstructionsPage();

private:
    TestEnvironment m_env;
    UrlRecorder m_opened;
};

void TestAbout::initTestCase()
{
    for (const char *scheme : {"http", "https", "mailto"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_opened, "open");
}

void TestAbout::init()
{
    m_opened.urls.clear();
}

void TestAbout::cleanupTestCase()
{
    for (const char *scheme : {"http", "https", "mailto"})
        QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
}

void TestAbout::aboutPage()
{
    AboutDlg dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About Application"));
    QCOMPARE(dialog.size(), QSize(808, 411));
    auto *about = dialog.findChild<QTextBrowser *>(QStringLiteral("about"));
    QVERIFY(about);
    const QString text = about->toPlainText();
    QVERIFY2(text.startsWith(QStringLiteral("Keyquill\n")), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("\nAuthor:")));
    QVERIFY(text.contains(QStringLiteral("\nVersion: v1.0.0\n")));
    QVERIFY(text.contains(QStringLiteral("\nTechnical suport: support@corvane.example\n")));
    QVERIFY(text.contains(QStringLiteral(
        "In short, Keyquill allows users to quickly paste often used sentences or paragraphs "
        "into text windows using pre-defined assigned keyboard shortcuts.")));
    QCOMPARE(firstLink(about), SupportMail);
    auto *buttons = dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    QVERIFY(buttons);
    QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok);
}

void TestAbout::aboutMailLinkLeavesThroughTheSystem()
{
    AboutDlg dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *about = dialog.findChild<QTextBrowser *>(QStringLiteral("about"));
    const QPoint point = linkPoint(about, SupportMail);
    QVERIFY(point.x() >= 0);
    QTest::mouseClick(about->viewport(), Qt::LeftButton, {}, point);

    QCOMPARE(m_opened.urls, QList<QUrl>{QUrl(SupportMail)});
    QVERIFY(dialog.isVisible());
    QVERIFY(about->toPlainText().contains(QStringLiteral("Version: v1.0.0")));
}

void TestAbout::helpAboutRunsTheDialog()
{
    MainWindow window;
    QString shown;
    ModalAnswerer answerer;
    answerer.expect([&shown](QWidget *dialog) {
        shown = dialog->findChild<QTextBrowser *>(QStringLiteral("about"))->toPlainText();
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    MainWindowTester::helpAbout(window);
    QCOMPARE(answerer.said(), QStringList{"About Application"});
    QVERIFY(shown.contains(QStringLiteral("Version: v1.0.0")));
}

void TestAbout::adsLinksLeaveThroughTheSystem_data()
{
    QTest::addColumn<QString>("href");
    QTest::newRow("instructions")
        << QStringLiteral("http://%1/corvane_key_quill.php").arg(VendorHost);
    QTest::newRow("donation image") << QStringLiteral("http://%1/donate.php").arg(VendorHost);
    QTest::newRow("mail") << SupportMail;
}

void TestAbout::adsLinksLeaveThroughTheSystem()
{
    QFETCH(QString, href);
    MainWindow window;
    window.resize(1000, 700);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *ads = window.findChild<QTextBrowser *>(QStringLiteral("ads"));
    QVERIFY(ads);
    const QUrl source = ads->source();
    const QString pageBefore = ads->toHtml();
    const QPoint point = linkPoint(ads, href);
    QVERIFY2(point.x() >= 0, qPrintable(href));
    QTest::mouseClick(ads->viewport(), Qt::LeftButton, {}, point);

    QCOMPARE(m_opened.urls, QList<QUrl>{QUrl(href)});
    QCOMPARE(ads->source(), source);
    QCOMPARE(ads->toHtml(), pageBefore);
}

void TestAbout::instructionsOpenTheInstructionsPage()
{
    MainWindow window;
    MainWindowTester::helpInstructions(window);
    QCOMPARE(m_opened.urls.size(), 1);
    const QUrl url = m_opened.urls.first();
    QCOMPARE(url.scheme(), QStringLiteral("http"));
    QCOMPARE(url.host(), VendorHost);
    QCOMPARE(url.path(), QStringLiteral("/corvane_key_quill.php"));
    // The same page as the ads panel's first link.
    QCOMPARE(url, QUrl(firstLink(window.findChild<QTextBrowser *>(QStringLiteral("ads")))));
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
