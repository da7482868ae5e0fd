#pragma once

#include <QString>

class QPagedPaintDevice;
class QTextDocument;
class StoreSnapshot;

// The printed reference of master macros: HTML built from three fixed templates and the macro
// store, laid out by QTextDocument.
namespace Report {

// A report is laid out by documents in pieces of about this many characters of HTML.
constexpr qsizetype PieceSize = 128 * 1024;

// A value as the report shows it: HTML-escaped, so "<" or "&" print as written, then each line
// feed turned into a line break.
QString textToHtml(const QString &text);

// The three templates with their values filled in at once (a value is never searched for place
// markers). Values are raw; each is passed through textToHtml here.
QString noteBlock(const QString &name, const QString &shortcutText, const QString &text);
QString masterMacroSection(const QString &name, const QString &noteBlocks);
// A section's start: its heading and rule. The section is this, its note blocks and a space (the
// spaces count: a rule followed by two before a note block is read as that note's block).
QString masterMacroHeading(const QString &name);
QString page(const QString &sections);

// The hot key as the report shows it: portable text, "" for no hot key.
QString shortcutText(int code);

// Whole pages of the store: one master macro, or all of them in store order.
QString masterMacroPage(const StoreSnapshot &store, const QString &master);
QString allMasterMacrosPage(const StoreSnapshot &store);

// A page for a piece of the report: the first, or one that continues content ending with a
// rule (it then begins with a stand-in for that rule, see PiecePrinter).
QString continuedPage(const QString &body, bool continues);

// Loads the page into the document, its headings at the style sheet's size.
void setPage(QTextDocument *document, const QString &html);

// Prints the report of one master macro, or of all of them, onto the device: the pages render()
// would print of the page built from the store, drawn directly.
void printMasterMacro(const StoreSnapshot &store, const QString &master, QPagedPaintDevice *device);
void printAllMasterMacros(const StoreSnapshot &store, QPagedPaintDevice *device);

// Lays the page out and prints it onto the device, a few hundred notes at a time (the time and
// memory of one whole document grow faster than the report), with the pages the one document
// would have.
void render(const QString &html, QPagedPaintDevice *device);

} // namespace Report
