// The printed report: its HTML, its layout, its pages drawn directly as the document layout
// prints them, and printing from the main window.
#include "app/application.h"
#include "mainwindow/filecommands.h"
#include "mainwindow/mainwindow.h"
#include "print/report.h"
#include "print/reportprinter.h"
#include "store/macrostore.h"
#include "store/storesnapshot.h"
#include "support/fakeplatform.h"
#include "support/testenv.h"

#include <QAbstractTextDocumentLayout>
#include <QDir>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTextTable>
#include <QTreeWidget>

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

// The pages of a PDF as pdftoppm (poppler-utils) rasterises them, grey, one image each.
QList<QByteArray> pageImages(const QString &fileName, int dpi)
{
    QTemporaryDir dir;
    QProcess pdftoppm;
    pdftoppm.start("pdftoppm", {"-r", QString::number(dpi), "-gray", fileName,
                                dir.filePath(QStringLiteral("page"))});
    if (!pdftoppm.waitForFinished(60000) || pdftoppm.exitCode() != 0)
        return {};
    QList<QByteArray> pages;
    for (const QString &page : QDir(dir.path()).entryList(QDir::Files, QDir::Name))
        pages.append(TestEnvironment::fileBytes(dir.filePath(page)));
    return pages;
}

// A store of every kind of note the report meets: other scripts than Latin, line breaks, runs of
// white space, words wider than a line, texts longer than a page, no text or no hot key, master
// macros without notes, names too wide for the table, and characters that only the document
// layout prints (those notes go through a document of their own).
void writeVariedStore(int notes)
{
    static const QStringList words = {"Dear",
                                      "customer,",
                                      "thank",
                                      "you",
                                      "über",
                                      "日本語",
                                      "שלום",
                                      "مرحبا",
                                      "😀",
                                      "<b>",
                                      "&amp;",
                                      "100%2",
                                      "a\tb",
                                      "e\u0301",
                                      "\u00a0",
                                      "\u00ad",
                                      "—",
                                      "Supercalifragilisticexpialidocious",
                                      QString("W").repeated(150)};
    static const QStringList gaps = {" ", "  ", "\n", " \n ", "\n\n", "\r\n", "\t"};
    quint32 seed = 7;
    const auto next = [&seed](int range) {
        seed = seed * 1103515245u + 12345u;
        return int((seed >> 16) % quint32(range));
    };
    const auto text = [&](int count) {
        QString made;
        for (int i = 0; i < count; ++i)
            made += words.at(next(words.size())) + gaps.at(next(gaps.size()));
        return made;
    };
    QSettings store;
    store.setValue("MasterMacros/Empty/x", 1);
    for (int i = 0; i < notes; ++i) {
        const QString master = QString("Master %1 %2").arg(i / 40).arg(words.at(i / 40 % 12));
        QString name = QString("N%1 ").arg(i, 3, 10, QChar('0')) + text(next(3)).simplified();
        if (i % 97 == 5)
            name += QString(" wide").repeated(60);
        QString body = text(next(24) == 0 ? 700 : next(40));
        if (i % 53 == 7)
            body.insert(body.size() / 2, i % 2 ? QChar(0x2029) : QChar(0x01));
        store.beginGroup(QString("MasterMacros/%1/Macros/%2").arg(master, name));
        store.setValue("text", body);
        store.setValue("shortcut", i % 4 ? MacroStore::CtrlBit | (Qt::Key_A + i % 26) : 0);
        store.endGroup();
    }
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
        QCOMPARE(plainText(Report::masterMacroPage(*MacroStore().snapshot(), "Work")), work);
        QCOMPARE(plainText(Report::allMasterMacrosPage(*MacroStore().snapshot())),
                 "Beta\n\nContent: beta text\nShortuct:\n \n \nNote name:\n b1\n\n\nEmpty\n\n" +
                     work);
    }

    void valuesAsTheHtmlReadsThem_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("drawn"); // false: left to the document layout
        for (const char *value :
             {"a  b", " a", "a ", "\ta\t", "a\n b", "a \nb", "a\n\nb", "\n", " \n ", "a\r\nb",
              "a\u00a0\u00a0b", "\u00a0 a", "a \u2003 b", "\u2028a", "a\u0085\u000bb", "", "   ",
              "<&>\"'", "\U0001F600 e\u0301"})
            QTest::newRow(QString::fromUtf8(value).toUtf8().toPercentEncoding(" <&>\"'"))
                << QString::fromUtf8(value) << true;
        for (const char16_t c : {0x2029, 0x0001, 0xfffc, 0xfdd0, 0xd800})
            QTest::addRow("U+%04X", c) << QString("a%1b").arg(QChar(c)) << false;
    }
    // What the direct drawing makes of a value is the text the HTML reading gives its block:
    // in a heading, after a note's label, in a table cell.
    void valuesAsTheHtmlReadsThem()
    {
        QFETCH(QString, value);
        QFETCH(bool, drawn);
        using Start = ReportPrinter::Start;
        QString heading, content, cell;
        QCOMPARE(ReportPrinter::shownText(value, Start::Block, &heading) &&
                     ReportPrinter::shownText(value, Start::AfterSpace, &content) &&
                     ReportPrinter::shownText(value, Start::AfterText, &cell),
                 drawn);
        if (!drawn)
            return;
        QTextDocument section;
        Report::setPage(&section, Report::page(Report::masterMacroSection(value, {})));
        if (!heading.isEmpty()) // an empty heading is left to the document layout
            QCOMPARE(section.firstBlock().text(), heading);
        QTextDocument note;
        Report::setPage(&note, Report::page(Report::noteBlock(value, value, value)));
        QCOMPARE(note.firstBlock().text(), "Content: " + content);
        auto *table = qobject_cast<QTextTable *>(note.rootFrame()->childFrames().value(0));
        QVERIFY(table);
        for (int column : {1, 4})
            QCOMPARE(table->cellAt(0, column).firstCursorPosition().block().text(),
                     QChar(QChar::Nbsp) + cell);
    }

    void pagesAsTheDocumentLayoutPrintsThem_data()
    {
        QTest::addColumn<int>("resolution");
        QTest::addColumn<QString>("ranges");
        QTest::addColumn<int>("notes"); // 0: short notes, then a long one only documents print
        QTest::newRow("screen") << int(QPrinter::ScreenResolution) << "" << 180;
        QTest::newRow("high resolution") << int(QPrinter::HighResolution) << "" << 180;
        QTest::newRow("pages 2-3 and 9") << int(QPrinter::ScreenResolution) << "2-3,9" << 180;
        QTest::newRow("long document on page 2") << int(QPrinter::ScreenResolution) << "" << 0;
    }
    // A large report of every kind of note, drawn directly, against the same report laid out
    // and printed by the document layout: the same pages, pixel for pixel.
    void pagesAsTheDocumentLayoutPrintsThem()
    {
        QFETCH(int, resolution);
        QFETCH(QString, ranges);
        QFETCH(int, notes);
        if (notes > 0) {
            writeVariedStore(notes);
        } else {
            // Its document continues the drawn notes near the top of the second page.
            for (int i = 0; i < 20; ++i)
                TestEnvironment::writeNote("M", QString("A%1").arg(i, 2, 10, QChar('0')), 0,
                                           "a\nb");
            TestEnvironment::writeNote("M", "B" + QString(" wide").repeated(60), 0,
                                       QString("word ").repeated(3000));
        }
        const auto print = [&](const QString &name, void (*draw)(QPagedPaintDevice *)) {
            QPrinter printer{QPrinter::PrinterMode(resolution)};
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(m_out.filePath(name + ".pdf"));
            printer.setPageRanges(QPageRanges::fromString(ranges));
            draw(&printer);
            return pageImages(printer.outputFileName(), 50);
        };
        const QList<QByteArray> laidOut = print("document", [](QPagedPaintDevice *printer) {
            Report::render(Report::allMasterMacrosPage(*MacroStore().snapshot()), printer);
        });
        const QList<QByteArray> drawn = print("drawn", [](QPagedPaintDevice *printer) {
            Report::printAllMasterMacros(*MacroStore().snapshot(), printer);
        });
        QVERIFY2(laidOut.size() > 2, "pdftoppm (poppler-utils) did not run");
        QCOMPARE(drawn.size(), laidOut.size());
        for (qsizetype i = 0; i < drawn.size(); ++i)
            QVERIFY2(drawn.at(i) == laidOut.at(i), qPrintable(QString("page %1").arg(i + 1)));
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
        Application program(platform.platform(), nullptr, Application::Options{false});
        MainWindow &window = program.window();
        auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeMacros"));
        FileCommands files(&window, tree, program.store(), window.dialogs());
        QPrinter printer; // as the preview dialog has it
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_out.filePath(QStringLiteral("report.pdf")));
        if (select.isEmpty()) {
            files.printOnto(true, &printer);
        } else {
            tree->setCurrentItem(tree->findItems(select, Qt::MatchExactly | Qt::MatchRecursive)[0]);
            files.printOnto(false, &printer);
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
        Report::setPage(&whole, Report::allMasterMacrosPage(*MacroStore().snapshot()));
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
