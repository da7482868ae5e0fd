#pragma once

#include "store/preferences.h"

#include <QHash>
#include <QList>
#include <QString>

// Which key stroke makes the focused program paste. Most take Ctrl+V; terminals keep Ctrl+V for
// the program running in them and paste with Ctrl+Shift+V, and xterm-like terminals paste the
// PRIMARY selection with Shift+Insert. A stroke is a Qt key code OR-ed with Qt's modifier flags.
class PasteKeyTable final
{
public:
    // Shift+Insert pastes the PRIMARY selection, so the text must be there too.
    static bool pastesPrimary(int stroke) { return stroke == PasteStroke::ShiftInsert; }

    // The built-in entries: window class (lower case) -> stroke.
    static QHash<QString, int> builtIn();

    // userEntries override the built-in ones; keys are matched without regard to letter case.
    explicit PasteKeyTable(const QHash<QString, int> &userEntries = {});

    // The stroke for a window whose WM_CLASS is (instance, className): an entry for either
    // part, the user's first; Ctrl+V when there is none.
    int strokeFor(const QString &instance, const QString &className) const;

private:
    QHash<QString, int> m_user; // lower-case class -> stroke
    QHash<QString, int> m_builtIn;
};
