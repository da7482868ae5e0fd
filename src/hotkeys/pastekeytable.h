#pragma once

#include <QHash>
#include <QList>
#include <QString>

// Which key stroke makes the focused program paste. Most take Ctrl+V; terminals keep Ctrl+V for
// the program running in them and paste with Ctrl+Shift+V, and xterm-like terminals paste the
// PRIMARY selection with Shift+Insert. A stroke is a Qt key code OR-ed with Qt's modifier flags.
class PasteKeyTable final
{
public:
    static constexpr int CtrlV = 0x04000000 | 0x56; // Qt::CTRL | Qt::Key_V
    static constexpr int CtrlShiftV = 0x04000000 | 0x02000000 | 0x56;
    static constexpr int ShiftInsert = 0x02000000 | 0x01000006; // Qt::SHIFT | Qt::Key_Insert

    // The strokes a user may choose, in the order offered.
    static QList<int> strokes();
    // "Ctrl+V", "Ctrl+Shift+V", "Shift+Insert"; and back (0 for anything else).
    static QString strokeText(int stroke);
    static int strokeFromText(const QString &text);
    // Shift+Insert pastes the PRIMARY selection, so the text must be there too.
    static bool pastesPrimary(int stroke) { return stroke == ShiftInsert; }

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
