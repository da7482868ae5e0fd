#include "report.h"

#include "pageoutput.h"
#include "pieceprinter.h"
#include "reportprinter.h"
#include "reportstyle.h"
#include "store/macrostore.h"
#include "store/storesnapshot.h"
#include "widgets/headingsize.h"

#include <QKeySequence>
#include <QPagedPaintDevice>
#include <QTextDocument>

namespace Report {
namespace {

// The templates are kept exactly as designed, runs of spaces and the closing space included.
const QString PageTemplate = QStringLiteral(
    "<html>    <head>        <style>            .m_master_title            {                "
    "font-family : Verdana;                font-size : 12px;                font-weight : "
    "bold;                text-align : center;            }            .m_label            { "
    "               font-family : Verdana;                font-size : 10px;                "
    "font-weight : bold;            }            .m_value            {                "
    "font-family : Verdana;                font-size : 10px;                font-weight : "
    "normal;            }        </style>    </head>    <body>        %1    </body> </html> ");

const QString SectionTemplate = QStringLiteral("<h1 class=\"m_master_title\">%1</h1> <hr /> %2 ");

const QString NoteTemplate = QStringLiteral(
    "<span class=\"m_label\">Content:</span> <span class=\"m_value\">%3</span><table "
    "cellspacing=\"0\" cellpadding=\"0\">    <tr>         <td class=\"m_label\">Shortuct:</td>  "
    "       <td class=\"m_value\">&nbsp;%2</td>         <td width=\"100\">&nbsp;</td>         "
    "<td class=\"m_label\">Note name:</td>         <td class=\"m_value\">&nbsp;%1</td>     "
    "</tr> </table> <hr /> ");

// A report's pieces are cut where a master macro section or a note block begins. The
// templates' markup at those places cannot occur in a value, which is escaped.
const QLatin1String SectionStart("<h1 class=\"m_master_title\">");
const QLatin1String NoteStart("<span class=\"m_label\">Content:</span>");
// Every cut follows the rule that closes a note block or a section's heading; a piece after the
// first begins with one of its own for the printer to put in the place of the one before.
const QLatin1String CutBlock("<hr /> ");

// The first section or note start from `from` on, or the body's end.
qsizetype nextCut(QStringView body, qsizetype from)
{
    if (from >= body.size())
        return body.size();
    qsizetype cut = body.indexOf(SectionStart, from);
    const qsizetype note = body.indexOf(NoteStart, from);
    if (cut < 0 || (note >= 0 && note < cut))
        cut = note;
    return cut < 0 ? body.size() : cut;
}

// The notes of `master` in store order; none where the store has no such master macro.
const QList<MacroStore::Note> &notesOf(const StoreSnapshot &store, const QString &master)
{
    static const QList<MacroStore::Note> none;
    const StoreSnapshot::Master *found = store.master(master);
    return found ? found->notes : none;
}

QString noteBlocks(const StoreSnapshot &store, const QString &master)
{
    QString blocks;
    for (const MacroStore::Note &note : notesOf(store, master))
        blocks += noteBlock(note.name, shortcutText(note.code), note.text);
    return blocks;
}

void print(const StoreSnapshot &store, const QStringList &masters, QPagedPaintDevice *device)
{
    const ReportStyle style = ReportStyle::read(device);
    if (!style.usable) {
        // Laid out by documents alone, as before there was a direct way.
        QString sections;
        for (const QString &master : masters)
            sections += masterMacroSection(master, noteBlocks(store, master));
        render(page(sections), device);
        return;
    }
    PageOutput output(device);
    if (!output.isActive())
        return;
    ReportPrinter printer(output, style);
    for (const QString &master : masters) {
        printer.heading(master);
        for (const MacroStore::Note &note : notesOf(store, master))
            printer.note(note.name, shortcutText(note.code), note.text);
        printer.endSection();
    }
    printer.finish();
    output.finish();
}

} // namespace

QString textToHtml(const QString &text)
{
    QString html = text.toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QLatin1String("<br>"));
    return html;
}

QString noteBlock(const QString &name, const QString &shortcutText, const QString &text)
{
    return NoteTemplate.arg(textToHtml(name), textToHtml(shortcutText), textToHtml(text));
}

QString masterMacroSection(const QString &name, const QString &noteBlocks)
{
    return SectionTemplate.arg(textToHtml(name), noteBlocks);
}

QString masterMacroHeading(const QString &name)
{
    return masterMacroSection(name, QString()).chopped(1);
}

QString page(const QString &sections)
{
    return PageTemplate.arg(sections);
}

QString shortcutText(int code)
{
    if (code == 0)
        return QString();
    return QKeySequence(code, 0, 0, 0).toString(QKeySequence::PortableText);
}

QString masterMacroPage(const StoreSnapshot &store, const QString &master)
{
    return page(masterMacroSection(master, noteBlocks(store, master)));
}

QString allMasterMacrosPage(const StoreSnapshot &store)
{
    QString sections;
    for (const StoreSnapshot::Master &master : store.masters())
        sections += masterMacroSection(master.name, noteBlocks(store, master.name));
    return page(sections);
}

QString continuedPage(const QString &body, bool continues)
{
    return page(continues ? CutBlock + body : body);
}

void printMasterMacro(const StoreSnapshot &store, const QString &master, QPagedPaintDevice *device)
{
    print(store, {master}, device);
}

void printAllMasterMacros(const StoreSnapshot &store, QPagedPaintDevice *device)
{
    QStringList masters;
    for (const StoreSnapshot::Master &master : store.masters())
        masters << master.name;
    print(store, masters, device);
}

void render(const QString &html, QPagedPaintDevice *device)
{
    PageOutput output(device);
    PiecePrinter printer(output);
    const auto print = [&printer](const QString &piece) {
        QTextDocument document;
        setPage(&document, piece);
        printer.print(&document);
    };
    const qsizetype bodyStart = PageTemplate.indexOf(QLatin1String("%1"));
    const QStringView head = QStringView(PageTemplate).left(bodyStart);
    const QStringView tail = QStringView(PageTemplate).mid(bodyStart + 2);
    if (!output.isActive()) {
        return;
    } else if (html.size() < head.size() + tail.size() || !html.startsWith(head) ||
               !html.endsWith(tail)) {
        print(html); // not one of ours: in one piece
    } else {
        const QStringView body =
            QStringView(html).mid(head.size(), html.size() - head.size() - tail.size());
        for (qsizetype start = 0, end = 0; start < body.size(); start = end) {
            end = nextCut(body, start + PieceSize);
            QString piece = head.toString();
            if (start > 0)
                piece += CutBlock;
            piece += body.mid(start, end - start);
            piece += tail;
            print(piece);
        }
    }
    output.finish();
}

void setPage(QTextDocument *document, const QString &html)
{
    document->setHtml(html);
    // Qt's HTML import gives h1 a size step of its own on top of the style sheet's "font-size:
    // 12px", which printed the master macro's name about twice as large. Put the sheet's size
    // back on the heading text.
    setHeadingPixelSize(document, 1, 12);
}

} // namespace Report
