#pragma once

#include "print/layoutunits.h"

#include <QFont>
#include <QTextCharFormat>
#include <QTextLayout>
#include <QTextOption>

class QPaintDevice;

// How the report's templates come out on one device, read once from a small sample page that
// the document layout lays out: the fonts and text options of each kind of block, the margins
// between blocks, those of the page, and the widths of the table's fixed columns. With them a
// heading or a note can be drawn where the document layout would put it, without the document.
struct ReportStyle
{
    // One kind of block: its text option and block format as the document layout gives them,
    // and the font of its own character format (which sets the height of an empty line).
    struct Block
    {
        QTextOption option;
        QTextBlockFormat format;
        QFont font;
    };

    // What one line adds to the height of its block, as the document layout counts it: the
    // advance to the next line, the line's own bottom, and the height it needs on a page.
    struct LineHeights
    {
        LayoutUnits advance, bottom, breakHeight;
    };
    static LineHeights lineHeights(const QTextBlockFormat &format, const QTextLine &line);

    // Reads the style on `device`. `usable` stays false when the sample is not laid out as this
    // expects (another Qt may build it otherwise); the report is then printed through documents.
    static ReportStyle read(QPaintDevice *device);

    bool usable = false;
    LayoutUnits pageHeight;
    LayoutUnits left;         // where blocks begin, from the page's left edge
    LayoutUnits contentWidth; // their width
    LayoutUnits topMargin;    // free at the top and the bottom of each page
    LayoutUnits bottomMargin;

    Block heading, rule, content, shortcutLabel, spacer, nameLabel, cell;
    // The formats of the blocks' text, each with every font property set, as they are once
    // laid over the document's own font.
    QTextCharFormat headingFormat, labelFormat, valueFormat, spaceFormat;
    QTextCharFormat cellLabelFormat, cellValueFormat, spacerFormat;

    // The margins between blocks: a rule after a heading, a heading after a rule, a note after a
    // rule, a rule after a table.
    LayoutUnits ruleAfterHeading, headingAfterRule, contentAfterRule, ruleAfterTable;

    // The widths of the table's columns whose text never changes (the two labels, and the
    // spacer, whose fixed width is rounded); the spacer's width before rounding is at most half
    // a pixel more.
    LayoutUnits shortcutLabelWidth, spacerWidth, nameLabelWidth;
};
