#pragma once

#include "core/pastestroke.h"

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
    // `fallback` serves programs that neither names.
    explicit PasteKeyTable(const QHash<QString, int> &userEntries = {},
                           int fallback = PasteStroke::CtrlV);

    // The stroke for a window whose WM_CLASS is (instance, className): an entry for either
    // part, the user's first; the fallback (Ctrl+V unless the user chose) when there is none.
    // May be PasteStroke::Type.
    int strokeFor(const QString &instance, const QString &className) const;
    // The same, passing over the entries that type: the paste key for a text too long to type.
    int pasteStrokeFor(const QString &instance, const QString &className) const;
    // True when some entry, or the fallback, types: only then is the focus asked before the
    // clipboard is written.
    bool types() const;

private:
    int lookUp(const QString &instance, const QString &className, bool typing) const;

    QHash<QString, int> m_user; // lower-case class -> stroke
    QHash<QString, int> m_builtIn;
    int m_fallback;
};
