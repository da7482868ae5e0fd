// The printed report: its HTML, its layout, and printing from the main window.
#include "mainwindow/mainwindow.h"
#include "print/report.h"
#include "store/macrostore.h"
#include "support/fakeplatform.h"
#include "support/testenv.h"

#include <QAbstractTextDocumentLayout>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTreeWidget>

struct MainWindowTester
{
    static void printOne(MainWindow &w, QPrinter *p) { w.generateMasterMacroPP(p); }
    static void printAll(MainWindow &w, QPrinter *p) { w.generateAllMasterMacrosPP(p); }
};

namespace {

// The page as a reader sees it (a non-breaking space shows as a space), and the height of its
// first laid-out line.
QString plainText(const QString &html, qreal *firstLineHeight = nullptr)
{
    QTextDocument document;
    Report::setPage(&document, html);
    document.documentLayout()->documentSize(); // lays the document out
    if (firstLineHeight)
        *firstLineHeight = document.begin().layout()->lineAt(0).height();
    return document.toPlainText();
}

} // namespace

class TestReport final : public QObject
{
    Q_OBJECT

    TestEnvironment m_env;
    QTemporaryDir m_out;

private Q_SLOTS:
    void init() { TestEnvironment::clearStore(); }

    // The templates as designed, labels included; each value in its own place, never searched
    // for place markers; the text's own characters shown as they are.
    void templates()
    {
        QCOMPARE(Report::textToHtml("one\ntwo\n\nthree"), "one<br>two<br><br>three");
        QCOMPARE(Report::textToHtml("<b>x</b> & \"q\""),
                 "&lt;b&gt;x&lt;/b&gt; &amp; &quot;q&quot;");
        QCOMPARE(
            Report::masterMacroSection("M%2", Report::noteBlock("%3", "%1", "a\nb")),
            "<h1 class=\"m_master_title\">M%2</h1> <hr /> <span class=\"m_label\">Content:</span> "
            "<span class=\"m_value\">a<br>b</span><table cellspacing=\"0\" cellpadding=\"0\">    "
            "<tr>         <td class=\"m_label\">Shortuct:</td>         <td class=\"m_value\">"
            "&nbsp;%1</td>         <td width=\"100\">&nbsp;</td>         <td class=\"m_label\">"
            "Note name:</td>         <td class=\"m_value\">&nbsp;%3</td>     </tr> </table> <hr />"
            "  ");
        const QString page = Report::page("X");
        QVERIFY(page.startsWith("<html>    <head>        <style>            .m_master_title     "));
        QVERIFY(page.endsWith("</style>    </head>    <body>        X    </body> </html> "));
    }

    // In store order, an empty master macro with its heading only; the heading as large as the
    // style sheet says.
    void pagesFromTheStore()
    {
        TestEnvironment::writeNote("Work", "Address", MacroStore::CtrlBit | Qt::Key_A, "1 Main St");
        TestEnvironment::writeNote("Beta", "b1", 0, "beta text");
        TestEnvironment::writeMasterMacro("Empty");
        const QString work =
            "Work\n\nContent: 1 Main St\nShortuct:\n Ctrl+A\n \nNote name:\n Address\n\n";
        qreal heading = 0, sameText = 0;
        QCOMPARE(plainText(Report::masterMacroPage("Work"), &heading), work);
        QCOMPARE(plainText(Report::allMasterMacrosPage()),
                 "Beta\n\nContent: beta text\nShortuct:\n \n \nNote name:\n b1\n\n\nEmpty\n\n" +
                     work);
        plainText("<p style=\"font-family: Verdana; font-size: 12px; font-weight: bold\">Work</p>",
                  &sameText);
        QVERIFY(sameText > 0);
        QCOMPARE(heading, sameText);
    }

    void printsFromTheWindow_data()
    {
        QTest::addColumn<QString>("select"); // "" prints all master macros
        QTest::newRow("master macro selected") << "Letters";
        QTest::newRow("note selected") << "Opening";
        QTest::newRow("all") << "";
    }
    // Through the window's print slots onto a PDF: the whole master macro of the selection, or
    // all of them over several pages.
    void printsFromTheWindow()
    {
        QFETCH(QString, select);
        TestEnvironment::writeNote("Letters", "Opening", 0, "Dear Sir,\nthank you.");
        for (int i = 0; i < 40; ++i)
            TestEnvironment::writeNote("Other", QString::number(i), 0, QString("bulk %1.").arg(i));
        FakePlatform platform;
        MainWindow window(platform);
        auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeMacros"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_out.filePath(QStringLiteral("report.pdf")));
        if (select.isEmpty()) {
            MainWindowTester::printAll(window, &printer);
        } else {
            tree->setCurrentItem(tree->findItems(select, Qt::MatchExactly | Qt::MatchRecursive)[0]);
            MainWindowTester::printOne(window, &printer);
        }
        QProcess pdftotext;
        pdftotext.start("pdftotext", {"-layout", printer.outputFileName(), "-"});
        QVERIFY2(pdftotext.waitForFinished(30000), "pdftotext (poppler-utils) did not run");
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
        QVERIFY2(
            text.contains(QRegularExpression("Letters\\s+Content: +Dear Sir,\\n+thank you\\.")),
            qPrintable(text));
        QCOMPARE(text.count("bulk "), select.isEmpty() ? 40 : 0);
        QCOMPARE(text.count('\f') >= 2, select.isEmpty());
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
