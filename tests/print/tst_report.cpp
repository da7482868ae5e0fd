// The printed report: its HTML, what a reader sees of it, and printing through the main window.
#include "mainwindow/mainwindow.h"
#include "print/report.h"
#include "store/macrostore.h"
#include "support/modalanswerer.h"
#include "support/testenv.h"

#include <QPrinter>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTreeWidget>

struct MainWindowTester
{
    static void printOne(MainWindow &window, QPrinter *printer)
    {
        window.generateMasterMacroPP(printer);
    }
    static void printAll(MainWindow &window, QPrinter *printer)
    {
        window.generateAllMasterMacrosPP(printer);
    }
    static void openOnePreview(MainWindow &window) { window.printMasterMacro(); }
    static void openAllPreview(MainWindow &window) { window.printAllMasterMacros(); }
};

namespace {

const int CtrlAltA = MacroStore::CtrlBit | MacroStore::AltBit | Qt::Key_A;
// Plain text shows each &nbsp; as a space.
const QChar Nbsp(QLatin1Char(' '));

// What a reader of the page sees, as plain text.
QString seen(const QString &html)
{
    QTextDocument document;
    document.setHtml(html);
    return document.toPlainText();
}

// The text of a printed PDF, or a null string when it cannot be read.
QString pdfText(const QString &path)
{
    QProcess process;
    process.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

class TestReport final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void textToHtml_data();
    void textToHtml();
    void valuesFilledInAtOnce_data();
    void valuesFilledInAtOnce();
    void masterMacroPage();
    void allMasterMacrosPage();
    void emptyStorePrintsNothing();

    void printsSelectedMasterMacroToPdf_data();
    void printsSelectedMasterMacroToPdf();
    void printsAllMasterMacrosToPdf();
    void previewShowsTheReport_data();
    void previewShowsTheReport();

private:
    TestEnvironment m_env;
    QTemporaryDir m_out;
};

void TestReport::init()
{
    TestEnvironment::clearStore();
}

void TestReport::textToHtml_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("html");
    QTest::newRow("plain") << "Kind regards"
                           << "Kind regards";
    QTest::newRow("line feeds") << "one\ntwo\n\nthree"
                                << "one<br>two<br><br>three";
    QTest::newRow("less than") << "if (a < b) return;"
                               << "if (a &lt; b) return;";
    QTest::newRow("markup") << "<b>bold?</b>"
                            << "&lt;b&gt;bold?&lt;/b&gt;";
    QTest::newRow("ampersand") << "Smith & Sons &amp;"
                               << "Smith &amp; Sons &amp;amp;";
    QTest::newRow("quote") << "say \"hi\""
                           << "say &quot;hi&quot;";
    QTest::newRow("place marker") << "100%2 sure"
                                  << "100%2 sure";
    QTest::newRow("empty") << ""
                           << "";
}

void TestReport::textToHtml()
{
    QFETCH(QString, text);
    QFETCH(QString, html);
    QCOMPARE(Report::textToHtml(text), html);
}

void TestReport::valuesFilledInAtOnce_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shortcut");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "Greeting"
                           << "Ctrl+Alt+A"
                           << "Hello";
    QTest::newRow("markers in every value") << "%3"
                                            << "%1"
                                            << "%2";
    QTest::newRow("marker in the text") << "Rate"
                                        << ""
                                        << "Up %1 and %2, not %3";
    QTest::newRow("markup everywhere") << "<i>n</i>"
                                       << ""
                                       << "a < b && c > d";
}

// Each value lands in its own place and prints as written, whatever it holds.
void TestReport::valuesFilledInAtOnce()
{
    QFETCH(QString, name);
    QFETCH(QString, shortcut);
    QFETCH(QString, text);
    const QString master = QStringLiteral("M %2 <&>");
    const QString visible = seen(
        Report::page(Report::masterMacroSection(master, Report::noteBlock(name, shortcut, text))));
    const QString expected = master + QStringLiteral("\n\nContent: ") + text +
                             QStringLiteral("\nShortuct:\n") + Nbsp + shortcut + QLatin1Char('\n') +
                             Nbsp + QStringLiteral("\nNote name:\n") + Nbsp + name;
    QCOMPARE(visible.trimmed(), expected);
}

void TestReport::masterMacroPage()
{
    TestEnvironment::writeNote(QStringLiteral("Work"), QStringLiteral("Address"), CtrlAltA,
                               QStringLiteral("1 Main Street\nSpringfield"));
    TestEnvironment::writeNote(QStringLiteral("Work"), QStringLiteral("Bold"), 0,
                               QStringLiteral("<b>not bold</b> & done"));
    TestEnvironment::writeNote(QStringLiteral("Home"), QStringLiteral("Other"), 0,
                               QStringLiteral("elsewhere"));

    const QString html = Report::masterMacroPage(QStringLiteral("Work"));
    // Line feeds become breaks; markup in a value is escaped, never read.
    QVERIFY(html.contains(QStringLiteral(">1 Main Street<br>Springfield</span>")));
    QVERIFY(html.contains(QStringLiteral("&lt;b&gt;not bold&lt;/b&gt; &amp; done")));
    QVERIFY(!html.contains(QStringLiteral("<b>")));
    // The hot key in portable text; none gives an empty value after the space.
    QVERIFY(html.contains(QStringLiteral("&nbsp;Ctrl+Alt+A</td>")));
    QVERIFY(html.contains(QStringLiteral("&nbsp;</td>         <td width")));

    const QString visible = seen(html);
    QVERIFY(visible.startsWith(QStringLiteral("Work\n")));
    QVERIFY(visible.contains(QStringLiteral("Content: <b>not bold</b> & done")));
    QVERIFY(visible.indexOf(QStringLiteral("Address")) < visible.indexOf(QStringLiteral("Bold")));
    QVERIFY(!visible.contains(QStringLiteral("elsewhere")));
    QVERIFY(!visible.contains(QStringLiteral("Home")));
}

void TestReport::allMasterMacrosPage()
{
    TestEnvironment::writeNote(QStringLiteral("Beta"), QStringLiteral("b1"), 0,
                               QStringLiteral("beta text"));
    TestEnvironment::writeNote(QStringLiteral("Alpha"), QStringLiteral("a1"), CtrlAltA,
                               QStringLiteral("alpha text"));
    TestEnvironment::writeMasterMacro(QStringLiteral("Empty"));

    const QString visible = seen(Report::allMasterMacrosPage());
    // Store order, every master macro, an empty one with its heading only.
    const qsizetype alpha = visible.indexOf(QStringLiteral("Alpha\n"));
    const qsizetype beta = visible.indexOf(QStringLiteral("Beta\n"));
    const qsizetype empty = visible.indexOf(QStringLiteral("Empty"));
    QVERIFY2(alpha >= 0 && beta > alpha && empty > beta, qPrintable(visible));
    QVERIFY(visible.contains(QStringLiteral("Content: alpha text")));
    QVERIFY(visible.contains(QStringLiteral("Content: beta text")));
    QVERIFY(visible.trimmed().endsWith(QStringLiteral("Empty")));
}

void TestReport::emptyStorePrintsNothing()
{
    QCOMPARE(seen(Report::allMasterMacrosPage()).trimmed(), QString());
    QCOMPARE(seen(Report::masterMacroPage(QStringLiteral("Missing"))).trimmed(),
             QStringLiteral("Missing"));
}

void TestReport::printsSelectedMasterMacroToPdf_data()
{
    QTest::addColumn<bool>("selectNote");
    QTest::newRow("master macro selected") << false;
    QTest::newRow("note selected") << true;
}

void TestReport::printsSelectedMasterMacroToPdf()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    QFETCH(bool, selectNote);
    TestEnvironment::writeNote(QStringLiteral("Letters"), QStringLiteral("Opening"), CtrlAltA,
                               QStringLiteral("Dear Sir or Madam,\nthank you."));
    TestEnvironment::writeNote(QStringLiteral("Letters"), QStringLiteral("Code"), 0,
                               QStringLiteral("if (a < b) return; %2 & <b>"));
    TestEnvironment::writeNote(QStringLiteral("Other"), QStringLiteral("Stray"), 0,
                               QStringLiteral("must not print"));

    MainWindow window;
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeMacros"));
    QVERIFY(tree);
    const QList<QTreeWidgetItem *> found =
        tree->findItems(QStringLiteral("Letters"), Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    QTreeWidgetItem *item = selectNote ? found.first()->child(1) : found.first();
    QVERIFY(item);
    tree->clearSelection();
    item->setSelected(true);

    const QString path = m_out.filePath(QStringLiteral("one-%1.pdf").arg(selectNote));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    MainWindowTester::printOne(window, &printer);

    const QString text = pdfText(path);
    QVERIFY2(!text.isEmpty(), "no readable PDF was printed");
    QVERIFY(text.contains(QStringLiteral("Letters")));
    QVERIFY(text.contains(QStringLiteral("Dear Sir or Madam,\n")));
    QVERIFY(text.contains(QStringLiteral("thank you.")));
    QVERIFY(text.contains(QStringLiteral("if (a < b) return; %2 & <b>")));
    QVERIFY(text.contains(QStringLiteral("Ctrl+Alt+A")));
    QVERIFY(text.contains(QStringLiteral("Opening")));
    QVERIFY(!text.contains(QStringLiteral("must not print")));
}

void TestReport::printsAllMasterMacrosToPdf()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    // Enough notes for more than one page.
    for (int i = 0; i < 40; ++i)
        TestEnvironment::writeNote(QStringLiteral("Bulk"),
                                   QStringLiteral("Note %1").arg(i, 2, 10, QLatin1Char('0')), 0,
                                   QStringLiteral("bulk text %1").arg(i));
    TestEnvironment::writeNote(QStringLiteral("Small"), QStringLiteral("Only"), 0,
                               QStringLiteral("small text"));

    MainWindow window;
    const QString path = m_out.filePath(QStringLiteral("all.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    MainWindowTester::printAll(window, &printer);

    const QString text = pdfText(path);
    QVERIFY2(text.count(QLatin1Char('\f')) >= 2, "the report should run over several pages");
    for (int i = 0; i < 40; ++i)
        QVERIFY2(text.contains(QStringLiteral("bulk text %1\n").arg(i)),
                 qPrintable(QString::number(i)));
    QVERIFY(text.contains(QStringLiteral("small text")));
    QVERIFY(text.indexOf(QStringLiteral("Bulk")) < text.indexOf(QStringLiteral("Small")));
}

void TestReport::previewShowsTheReport_data()
{
    QTest::addColumn<bool>("all");
    QTest::addColumn<bool>("select");
    QTest::addColumn<bool>("expectPages");
    QTest::newRow("one, selected") << false << true << true;
    QTest::newRow("one, nothing selected") << false << false << false;
    QTest::newRow("all") << true << false << true;
}

// The commands open a modal preview wired to the report.
void TestReport::previewShowsTheReport()
{
    QFETCH(bool, all);
    QFETCH(bool, select);
    QFETCH(bool, expectPages);
    TestEnvironment::writeNote(QStringLiteral("Letters"), QStringLiteral("Opening"), 0,
                               QStringLiteral("Dear"));
    MainWindow window;
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("treeMacros"));
    tree->clearSelection();
    if (select)
        tree->topLevelItem(0)->setSelected(true);

    int pages = -1;
    ModalAnswerer answerer;
    answerer.expect([&pages](QWidget *shown) {
        if (auto *widget = shown->findChild<QPrintPreviewWidget *>()) {
            widget->updatePreview();
            pages = widget->pageCount();
        }
        static_cast<QDialog *>(shown)->reject();
    });
    if (all)
        MainWindowTester::openAllPreview(window);
    else
        MainWindowTester::openOnePreview(window);
    QCOMPARE(answerer.seen().size(), 1);
    QVERIFY(pages >= 0);
    QCOMPARE(pages > 0, expectPages);
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
