// The printed report, from the store to a PDF, for stores of 1,000, 10,000 and 20,000 notes (all
// master macros, 50 notes each) and for one master macro of 10,000 notes: wall clock, processor
// time and peak memory above the idle process, beside
//  - its floor: the same texts in the same fonts on as many pages, drawn with QPainter alone
//    (each line's runs shaped and drawn, the rules, the PDF written; no layout), and
//  - the report as the document layout prints it (the HTML page, laid out in pieces), which
//    the report's own drawing keeps pixel for pixel;
// and the memory a print preview of all master macros keeps once closed, over ten rounds, with
// and without it given back to the system.
//
// Each figure comes from a fresh process of its own with a store of its own in a temporary
// folder, so that one run's freed heap does not hide the next one's peak:
//   bench_report                          every figure
//   bench_report NOTES all|one WAY        one: WAY is print, floor, glyphs or document
//   bench_report NOTES preview            the preview's memory rounds
// Offscreen unless QT_QPA_PLATFORM says otherwise. It prints figures and judges nothing.
#include "print/report.h"
#include "print/reportstyle.h"
#include "store/macrostore.h"
#include "store/storesnapshot.h"
#include "widgets/heaprelease.h"

#include <cstdio>
#include <ctime>
#include <list>
#include <memory>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGlyphRun>
#include <QPainter>
#include <QPrinter>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextLayout>

namespace {

constexpr int NotesPerMaster = 50;

// A line of /proc/self/status in KiB, e.g. "VmRSS".
qint64 statusKiB(const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key + ':'))
            return line.mid(key.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return 0;
}

double rssMiB()
{
    return double(statusKiB("VmRSS")) / 1024.0;
}

void fillStore(int masters, int notesPerMaster)
{
    QSettings store;
    const QString text =
        QStringLiteral("Line of a note with <markup> & 100%2 signs.\n").repeated(5);
    for (int m = 0; m < masters; ++m) {
        for (int n = 0; n < notesPerMaster; ++n) {
            store.beginGroup(QStringLiteral("%1/M%2/%3/N%4")
                                 .arg(MacroStore::MasterMacrosGroup)
                                 .arg(m, 4, 10, QLatin1Char('0'))
                                 .arg(MacroStore::MacrosGroup)
                                 .arg(n, 5, 10, QLatin1Char('0')));
            store.setValue(MacroStore::TextKey, text);
            store.setValue(MacroStore::ShortcutKey, MacroStore::CtrlBit | (Qt::Key_A + n % 26));
            store.endGroup();
        }
    }
}

// The floor's pages: each run of a line in one font, at its baseline (and its glyphs, shaped
// beforehand, where they go); and the rules.
struct Run
{
    QPointF baseline;
    QString text;
    const QFont *font;
};
struct Glyphs
{
    QPointF origin;
    QGlyphRun glyphs;
};
struct FloorPage
{
    QList<Run> runs;
    QList<Glyphs> glyphs;
    QList<QLineF> rules;
};

// Puts the report's texts on pages as the report has them, line under line, with the report's
// fonts and margins. The cutting into lines is done here, untimed, by QTextLayout: the floor
// only draws (and the glyph floor does not even shape).
class FloorPages final
{
public:
    FloorPages(QPrinter *printer, const ReportStyle &style) : m_printer(printer), m_style(style)
    {
        m_pages.append(FloorPage());
        m_y = style.topMargin.toReal();
    }

    void heading(const QString &name)
    {
        if (m_any)
            m_y += m_style.headingAfterRule.toReal();
        paragraph(name, {{0, int(name.size()), m_style.headingFormat}}, m_style.heading,
                  m_style.contentWidth.toReal());
        m_y += m_style.ruleAfterHeading.toReal();
        rule();
        m_any = true;
    }

    void note(const QString &name, const QString &shortcut, const QString &text)
    {
        m_y += m_style.contentAfterRule.toReal();
        paragraph(QStringLiteral("Content: ") + text,
                  {{0, 8, m_style.labelFormat},
                   {8, 1, m_style.spaceFormat},
                   {9, int(text.size()), m_style.valueFormat}},
                  m_style.content, m_style.contentWidth.toReal());
        // The row: each cell as wide as its text, the spacer as wide as the report's.
        const QList<QPair<QString, const ReportStyle::Block *>> cells = {
            {QStringLiteral("Shortuct:"), &m_style.shortcutLabel},
            {QChar(QChar::Nbsp) + shortcut, &m_style.cell},
            {QString(QChar::Nbsp), &m_style.spacer},
            {QStringLiteral("Note name:"), &m_style.nameLabel},
            {QChar(QChar::Nbsp) + name, &m_style.cell}};
        const QList<QTextCharFormat> formats = {m_style.cellLabelFormat, m_style.cellValueFormat,
                                                m_style.spacerFormat, m_style.cellLabelFormat,
                                                m_style.cellValueFormat};
        QList<std::shared_ptr<QTextLayout>> layouts;
        qreal height = 0;
        for (int i = 0; i < cells.size(); ++i) {
            layouts.append(layOut(cells.at(i).first,
                                  {{0, int(cells.at(i).first.size()), formats.at(i)}},
                                  *cells.at(i).second, 1e6));
            height = qMax(height, layouts.last()->lineAt(0).height());
        }
        place(height);
        qreal x = m_style.left.toReal();
        for (int i = 0; i < cells.size(); ++i) {
            addRuns(*layouts.at(i), layouts.at(i)->lineAt(0), x);
            x += i == 2 ? m_style.spacerWidth.toReal()
                        : std::ceil(layouts.at(i)->lineAt(0).naturalTextWidth());
        }
        m_y += height;
        rule();
    }

    const QList<FloorPage> &pages() const { return m_pages; }

private:
    std::shared_ptr<QTextLayout> layOut(const QString &text,
                                        const QList<QTextLayout::FormatRange> &formats,
                                        const ReportStyle::Block &block, qreal width)
    {
        auto layout = std::make_shared<QTextLayout>(text, block.font, m_printer);
        layout->setFormats(formats);
        layout->setTextOption(block.option);
        layout->beginLayout();
        for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine())
            line.setLineWidth(width);
        layout->endLayout();
        return layout;
    }

    void paragraph(QString text, const QList<QTextLayout::FormatRange> &formats,
                   const ReportStyle::Block &block, qreal width)
    {
        text.replace(QLatin1Char('\n'), QChar::LineSeparator);
        const std::shared_ptr<QTextLayout> layout = layOut(text, formats, block, width);
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            place(line.height());
            addRuns(*layout, line, m_style.left.toReal());
            m_y += line.height();
        }
    }

    // The line's runs with the line's top at the current height.
    void addRuns(const QTextLayout &layout, const QTextLine &line, qreal x)
    {
        const QPointF origin(x - layout.position().x(), m_y - line.y());
        for (const QGlyphRun &run : line.glyphRuns())
            m_pages.last().glyphs.append({origin, run});
        const int end = line.textStart() + line.textLength();
        const QList<QTextLayout::FormatRange> formats = layout.formats();
        for (const QTextLayout::FormatRange &range : formats) {
            const int start = qMax(range.start, line.textStart());
            const int stop = qMin(range.start + range.length, end);
            if (stop <= start)
                continue;
            QString text = layout.text().mid(start, stop - start);
            text.remove(QChar::LineSeparator);
            if (text.trimmed().isEmpty())
                continue;
            m_pages.last().runs.append({QPointF(x + line.cursorToX(start), m_y + line.ascent()),
                                        text, font(QFont(range.format.font(), m_printer))});
        }
    }

    // One font object for each font, as a program would keep them.
    const QFont *font(const QFont &font)
    {
        for (const QFont &known : m_fonts) {
            if (known == font)
                return &known;
        }
        m_fonts.push_back(font);
        return &m_fonts.back();
    }

    void rule()
    {
        const qreal height = QFontMetricsF(m_style.rule.font, m_printer).height();
        place(height);
        const qreal y = m_y + height / 2;
        m_pages.last().rules.append(
            QLineF(m_style.left.toReal(), y, (m_style.left + m_style.contentWidth).toReal(), y));
        m_y += height;
    }

    void place(qreal height)
    {
        const qreal pageHeight = m_style.pageHeight.toReal();
        if (m_y + height > pageHeight - m_style.bottomMargin.toReal()) {
            m_pages.append(FloorPage());
            m_y = m_style.topMargin.toReal();
        }
    }

    QPrinter *m_printer;
    const ReportStyle &m_style;
    QList<FloorPage> m_pages;
    std::list<QFont> m_fonts;
    qreal m_y = 0;
    bool m_any = false;
};

void fillFloor(FloorPages &pages, const QStringList &masters)
{
    const MacroStore store;
    for (const QString &master : masters) {
        pages.heading(master);
        const QList<MacroStore::Note> notes = store.notes(master);
        for (const MacroStore::Note &note : notes)
            pages.note(note.name, Report::shortcutText(note.code), note.text);
    }
}

void drawFloor(QPrinter *printer, const QList<FloorPage> &pages, bool glyphs)
{
    QPainter painter(printer);
    const QColor ruleColor = QPalette().color(QPalette::Dark);
    const QFont *font = nullptr;
    for (qsizetype i = 0; i < pages.size(); ++i) {
        if (i > 0)
            printer->newPage();
        painter.setPen(Qt::black);
        if (glyphs) {
            for (const Glyphs &run : pages.at(i).glyphs)
                painter.drawGlyphRun(run.origin, run.glyphs);
        }
        for (const Run &run : pages.at(i).runs) {
            if (glyphs)
                break;
            if (run.font != font) {
                font = run.font;
                painter.setFont(*font);
            }
            painter.drawText(run.baseline, run.text);
        }
        painter.setPen(ruleColor);
        for (const QLineF &rule : pages.at(i).rules)
            painter.drawLine(rule);
    }
}

// One figure in this process: fill the store, then print the report one way and measure that.
int runOne(int notes, bool oneMaster, const QString &way)
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    if (oneMaster)
        fillStore(1, notes);
    else
        fillStore(notes / NotesPerMaster, NotesPerMaster);

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("report.pdf")));
    const QStringList masters = MacroStore().masters();
    const bool floorWay = way == QLatin1String("floor") || way == QLatin1String("glyphs");
    const ReportStyle style = ReportStyle::read(&printer);
    FloorPages floor(&printer, style);
    if (floorWay)
        fillFloor(floor, masters);

    // The peak starts again from here (Linux 4.0 and later).
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
    clearRefs.close();
    const qint64 idleKiB = statusKiB("VmRSS");

    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpuStart = std::clock();
    if (floorWay) {
        drawFloor(&printer, floor.pages(), way == QLatin1String("glyphs"));
    } else if (way == QLatin1String("document")) {
        Report::render(oneMaster
                           ? Report::masterMacroPage(*MacroStore().snapshot(), masters.first())
                           : Report::allMasterMacrosPage(*MacroStore().snapshot()),
                       &printer);
    } else if (oneMaster) {
        Report::printMasterMacro(*MacroStore().snapshot(), masters.first(), &printer);
    } else {
        Report::printAllMasterMacros(*MacroStore().snapshot(), &printer);
    }
    const qint64 totalMs = timer.elapsed();
    const double cpuMs = double(std::clock() - cpuStart) * 1000 / CLOCKS_PER_SEC;
    const qint64 peakKiB = statusKiB("VmHWM") - idleKiB;

    std::printf("%-9s %-13s %6d notes: %7lld ms (cpu %7.0f ms), peak %+6.1f MiB, %8lld bytes "
                "of PDF%s\n",
                qPrintable(way), oneMaster ? "one master" : "50 per master", notes,
                static_cast<long long>(totalMs), cpuMs, double(peakKiB) / 1024.0,
                static_cast<long long>(QFile(printer.outputFileName()).size()),
                floorWay ? qPrintable(QStringLiteral(", %1 pages").arg(floor.pages().size())) : "");
    std::fflush(stdout);
    return 0;
}

// Ten rounds of opening the preview of all master macros (which draws its pages), closing it,
// and giving the freed memory back as the program does. The resident memory is told apart into
// the heap's and that of mapped files (the code of printing and the fonts, loaded once).
int previewRounds(int notes)
{
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    fillStore(notes / NotesPerMaster, NotesPerMaster);
    MacroStore().masters(); // the settings file read once, as the program has it at start
    HeapRelease::release(); // what filling the store freed is not the preview's
    const auto anon = [] { return double(statusKiB("RssAnon")) / 1024.0; };
    const auto file = [] { return double(statusKiB("RssFile")) / 1024.0; };
    const double before = rssMiB(), anonBefore = anon(), fileBefore = file();
    double afterFirst = 0;
    for (int round = 1; round <= 10; ++round) {
        double open = 0;
        {
            QPrintPreviewDialog preview;
            QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, [](QPrinter *printer) {
                Report::printAllMasterMacros(*MacroStore().snapshot(), printer);
            });
            preview.show();
            QCoreApplication::processEvents();
            open = rssMiB();
            preview.close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const double closed = rssMiB();
        HeapRelease::release();
        const double givenBack = rssMiB();
        if (round == 1)
            afterFirst = givenBack;
        std::printf("preview %6d notes, round %2d: RSS %+6.1f MiB open, %+6.1f closed, %+6.1f "
                    "given back (heap %+5.1f, mapped files %+5.1f)\n",
                    notes, round, open - before, closed - before, givenBack - before,
                    anon() - anonBefore, file() - fileBefore);
    }
    std::printf("preview %6d notes, after 10 rounds: RSS %+.1f MiB of %.1f before (heap %+.1f, "
                "mapped files %+.1f); %+.1f since the first round\n",
                notes, rssMiB() - before, before, anon() - anonBefore, file() - fileBefore,
                rssMiB() - afterFirst);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Corvane"));
    QCoreApplication::setApplicationName(QStringLiteral("KeyquillBench"));

    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4)
        return runOne(args.at(1).toInt(), args.at(2) == QLatin1String("one"), args.at(3));
    if (args.size() == 3 && args.at(2) == QLatin1String("preview"))
        return previewRounds(args.at(1).toInt());

    QList<QStringList> runs;
    for (const char *notes : {"1000", "10000", "20000"}) {
        for (const char *way : {"floor", "glyphs", "print", "document"})
            runs.append({notes, "all", way});
    }
    runs.append({"10000", "one", "floor"});
    runs.append({"10000", "one", "print"});
    for (const char *notes : {"1000", "10000", "20000"})
        runs.append(QStringList{notes, "preview"});
    for (const QStringList &run : std::as_const(runs)) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedChannels);
        child.start(QCoreApplication::applicationFilePath(), run);
        child.waitForFinished(-1);
    }
    return 0;
}
