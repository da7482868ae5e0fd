#pragma once

#include <QString>

// Puts a note's text on the system clipboard for other programs. On Wayland a program without
// the keyboard focus may not set the clipboard through Qt (the compositor ignores it, while Qt
// believes it owns the clipboard), so there the text goes through wl-copy, which uses the
// compositor's data-control protocol; without wl-copy, Qt's clipboard is all there is.
class ClipboardWriter final
{
public:
    static void setText(const QString &text);
};
