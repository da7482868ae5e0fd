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
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTreeWidget>

struct MainWindowTester
{
    static void printOne(MainWindow &w, QPrinter *p) { w.generateMasterMacroPP(p); }
    static void printAll(MainWindow &w, QPrinter *p) { w.generateAllMasterMacrosPP(p); }
};

namespace {

// The page as a reader sees it (a non-breaking space shows as a space).
QString plainText(const QString &html)
{
    QTextDocument document;
    Report::setPage(&document, html);
    return document.toPlainText();
}

struct Word
{
    QString text;
    QRectF box;
    bool operator==(const Word &other) const { return text == other.text && box == other.box; }
};

struct Page
{
    QString text; // its words, each followed by a space
    QList<Word> words;
};

// The pages of a PDF as pdftotext (poppler-utils) reads them.
QList<Page> pdfPages(const QString &fileName)
{
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-bbox-layout", fileName, "-"});
    if (!pdftotext.waitForFinished(60000))
        return {};
    static const QRegularExpression tag("<page |<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" "
                                        "xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>");
    QList<Page> pages;
    for (const QRegularExpressionMatch &match :
         tag.globalMatch(QString::fromUtf8(pdftotext.readAllStandardOutput()))) {
        if (match.captured(0).startsWith("<page")) {
            pages.append(Page());
        } else if (!pages.isEmpty()) {
            const QPointF topLeft(match.captured(1).toDouble(), match.captured(2).toDouble());
            const QPointF bottomRight(match.captured(3).toDouble(), match.captured(4).toDouble());
            pages.last().words.append({match.captured(5), QRectF(topLeft, bottomRight)});
            pages.last().text += match.captured(5) + ' ';
        }
    }
    return pages;
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

    // In store order, an empty master macro with its heading only.
    void pagesFromTheStore()
    {
        TestEnvironment::writeNote("Work", "Address", MacroStore::CtrlBit | Qt::Key_A, "1 Main St");
        TestEnvironment::writeNote("Beta", "b1", 0, "beta text");
        TestEnvironment::writeMasterMacro("Empty");
        const QString work =
            "Work\n\nContent: 1 Main St\nShortuct:\n Ctrl+A\n \nNote name:\n Address\n\n";
        QCOMPARE(plainText(Report::masterMacroPage("Work")), work);
        QCOMPARE(plainText(Report::allMasterMacrosPage()),
                 "Beta\n\nContent: beta text\nShortuct:\n \n \nNote name:\n b1\n\n\nEmpty\n\n" +
                     work);
    }

    void printsFromTheWindow_data()
    {
        QTest::addColumn<QString>("select"); // "" prints all master macros
        QTest::newRow("master macro selected") << "Letters";
        QTest::newRow("note selected") << "Opening";
        QTest::newRow("all, in several pieces") << "";
    }
    // Through the window's print slots onto a PDF: the whole master macro of the selection, or
    // all of them. All of them are laid out in pieces, and must print as the one document: its
    // pages, every note once (the last on the last page), each heading at the style sheet's size.
    void printsFromTheWindow()
    {
        QFETCH(QString, select);
        TestEnvironment::writeNote("Letters", "Opening", 0, "Dear Sir,\nthank you.");
        constexpr int Masters = 8, Notes = 50; // about three pieces
        QSettings store;                       // one write for them all
        for (int i = 0; i < Masters * Notes; ++i) {
            store.setValue(QString("MasterMacros/Other%1/Macros/%2/text")
                               .arg(i / Notes)
                               .arg(i % Notes, 2, 10, QChar('0')),
                           QString("bulk %1.\n").arg(i) + QString("word ").repeated(40));
        }
        store.sync();
        FakePlatform platform;
        MainWindow window(platform);
        auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeMacros"));
        QPrinter printer; // as the preview dialog has it
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_out.filePath(QStringLiteral("report.pdf")));
        if (select.isEmpty()) {
            MainWindowTester::printAll(window, &printer);
        } else {
            tree->setCurrentItem(tree->findItems(select, Qt::MatchExactly | Qt::MatchRecursive)[0]);
            MainWindowTester::printOne(window, &printer);
        }
        const QList<Page> pages = pdfPages(printer.outputFileName());
        QVERIFY2(!pages.isEmpty(), "pdftotext (poppler-utils) did not run");
        QString text;
        for (const Page &page : pages)
            text += page.text;
        QVERIFY2(text.contains("Letters Content: Dear Sir, thank you. "), qPrintable(text));
        QCOMPARE(text.count("bulk "), select.isEmpty() ? Masters * Notes : 0);
        if (!select.isEmpty())
            return;

        // The one document printed whole, as the report was before it came in pieces.
        QPrinter wholePrinter;
        wholePrinter.setOutputFormat(QPrinter::PdfFormat);
        wholePrinter.setOutputFileName(m_out.filePath(QStringLiteral("whole.pdf")));
        QTextDocument whole;
        Report::setPage(&whole, Report::allMasterMacrosPage());
        whole.documentLayout()->setPaintDevice(&wholePrinter);
        whole.setPageSize(QSizeF(wholePrinter.width(), wholePrinter.height()));
        whole.print(&wholePrinter);
        const QList<Page> wholePages = pdfPages(wholePrinter.outputFileName());
        QCOMPARE(pages.size(), wholePages.size());
        for (qsizetype i = 0; i < pages.size(); ++i)
            QVERIFY2(pages.at(i).words == wholePages.at(i).words, qPrintable(QString::number(i)));
        QVERIFY(pages.last().text.contains(QString("bulk %1. ").arg(Masters * Notes - 1)));
        const Word label = pages.first().words.at(1); // at 10px, against the headings' 12px
        QCOMPARE(label.text, "Content:");
        for (const Page &page : pages) {
            for (const Word &word : page.words) {
                if (word.text == "Letters" || word.text.startsWith("Other"))
                    QVERIFY2(word.box.height() < 1.5 * label.box.height(), qPrintable(word.text));
            }
        }
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
