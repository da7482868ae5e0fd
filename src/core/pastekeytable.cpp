#include "pastekeytable.h"

#include <algorithm>

QHash<QString, int> PasteKeyTable::builtIn()
{
    QHash<QString, int> table;
    // Both parts of WM_CLASS are looked up, so the instance names that differ from the program
    // name (gnome-terminal-server, st-256color, rxvt-unicode) are listed as well.
    for (const char *terminal :
         {"gnome-terminal", "gnome-terminal-server", "xfce4-terminal", "konsole", "lxterminal",
          "mate-terminal", "qterminal", "terminator", "tilix", "alacritty", "kitty", "wezterm",
          "org.wezfurlong.wezterm", "st", "st-256color", "foot", "footclient"})
        table.insert(QString::fromLatin1(terminal), PasteStroke::CtrlShiftV);
    for (const char *terminal : {"xterm", "uxterm", "urxvt", "rxvt-unicode", "rxvt"})
        table.insert(QString::fromLatin1(terminal), PasteStroke::ShiftInsert);
    return table;
}

PasteKeyTable::PasteKeyTable(const QHash<QString, int> &userEntries, int fallback)
    : m_builtIn(builtIn()),
      m_fallback(PasteStroke::all().contains(fallback) ? fallback : PasteStroke::CtrlV)
{
    for (auto it = userEntries.cbegin(); it != userEntries.cend(); ++it) {
        if (PasteStroke::all().contains(it.value()))
            m_user.insert(it.key().trimmed().toLower(), it.value());
    }
}

int PasteKeyTable::strokeFor(const QString &instance, const QString &className) const
{
    return lookUp(instance, className, true);
}

int PasteKeyTable::pasteStrokeFor(const QString &instance, const QString &className) const
{
    return lookUp(instance, className, false);
}

bool PasteKeyTable::types() const
{
    return m_fallback == PasteStroke::Type ||
           std::find(m_user.cbegin(), m_user.cend(), PasteStroke::Type) != m_user.cend();
}

int PasteKeyTable::lookUp(const QString &instance, const QString &className, bool typing) const
{
    // The user's entries win over the built-in ones whichever part they name; within one
    // table the instance name, the more specific of the two, is looked up first.
    for (const QHash<QString, int> *table : {&m_user, &m_builtIn}) {
        for (const QString &name : {instance, className}) {
            const auto it = table->constFind(name.toLower());
            if (!name.isEmpty() && it != table->cend() &&
                (typing || it.value() != PasteStroke::Type))
                return it.value();
        }
    }
    return typing || m_fallback != PasteStroke::Type ? m_fallback : PasteStroke::CtrlV;
}
