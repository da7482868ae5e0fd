#pragma once

class QTextDocument;

// Puts one pixel size on the text of every heading of `level`: Qt's HTML import gives headings a
// size step of its own that overrides the page's style sheet.
void setHeadingPixelSize(QTextDocument *page, int level, int pixelSize);
