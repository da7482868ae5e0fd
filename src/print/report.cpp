#include "report.h"

#include "store/macrostore.h"

#include <QAbstractTextDocumentLayout>
#include <QKeySequence>
#include <QPagedPaintDevice>
#include <QTextBlock>
#include <QTextCursor>
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

// The note blocks of one master macro, in store order.
QString noteBlocks(const MacroStore &store, const QString &master)
{
    QString blocks;
    const QList<MacroStore::Note> notes = store.notes(master);
    for (const MacroStore::Note &note : notes)
        blocks += noteBlock(note.name, shortcutText(note.code), note.text);
    return blocks;
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

QString masterMacroPage(const QString &master)
{
    const MacroStore store;
    return page(masterMacroSection(master, noteBlocks(store, master)));
}

QString allMasterMacrosPage()
{
    const MacroStore store;
    QString sections;
    const QStringList masters = store.masters();
    for (const QString &master : masters)
        sections += masterMacroSection(master, noteBlocks(store, master));
    return page(sections);
}

void render(const QString &html, QPagedPaintDevice *device)
{
    QTextDocument document;
    setPage(&document, html);
    // Laid out on the device's own pages, so it prints as it stands: without this the document
    // would add margins and page numbers of its own.
    document.documentLayout()->setPaintDevice(device);
    document.setPageSize(QSizeF(device->width(), device->height()));
    document.print(device);
}

void setPage(QTextDocument *document, const QString &html)
{
    document->setHtml(html);
    // Qt's HTML import gives h1 a size step of its own on top of the style sheet's "font-size:
    // 12px", which printed the master macro's name about twice as large. Put the sheet's size
    // back on the heading text.
    constexpr int HeadingPixelSize = 12;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() != 1)
            continue;
        QTextCursor cursor(block);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        QTextCharFormat format;
        format.setProperty(QTextFormat::FontSizeAdjustment, 0);
        format.setProperty(QTextFormat::FontPixelSize, HeadingPixelSize);
        cursor.mergeCharFormat(format);
    }
}

} // namespace Report
