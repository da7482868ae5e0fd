#include "unavailablemarks.h"

#include "hotkeys/consolekeys.h"
#include "store/macrostore.h"

#include <QCoreApplication>
#include <QHash>
#include <QIcon>
#include <QTreeWidget>

namespace {

QString tr(const char *text, int n = -1)
{
    return QCoreApplication::translate("MainWindow", text, nullptr, n);
}

} // namespace

QString UnavailableMarks::consoleKeyReason(int code)
{
    if (!ConsoleKeys::isConsoleSwitchKey(code))
        return QString();
    return tr("The X server keeps Ctrl+Alt+F1 to F12 for console switching: %1 never "
              "reaches any program, so it cannot be a hot key.")
        .arg(MacroStore::codeText(code));
}

int UnavailableMarks::markTree(QTreeWidget *tree, const QString &live,
                               const QSet<int> &unregistered, const QIcon &warning)
{
    int marked = 0;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *master = tree->topLevelItem(i);
        const bool isLive = !live.isEmpty() && master->text(0) == live;
        QHash<QString, int> codes;
        if (isLive) {
            const QList<MacroStore::NoteCode> notes = MacroStore::noteCodes(live);
            for (const MacroStore::NoteCode &stored : notes)
                codes.insert(stored.name, stored.code);
        }
        for (int j = 0; j < master->childCount(); ++j) {
            QTreeWidgetItem *note = master->child(j);
            const int code = codes.value(note->text(0));
            QString reason = consoleKeyReason(code);
            if (reason.isEmpty() && code != 0 && unregistered.contains(code))
                reason = tr("Another program holds %1, so this hot key does not work.")
                             .arg(MacroStore::codeText(code));
            const QString shortcut = note->text(1);
            note->setIcon(1, reason.isEmpty() ? QIcon() : warning);
            note->setToolTip(1,
                             reason.isEmpty() ? shortcut : shortcut + QLatin1Char('\n') + reason);
            marked += reason.isEmpty() ? 0 : 1;
        }
    }
    return marked;
}

QString UnavailableMarks::trayToolTip(const QString &title, int unavailable)
{
    if (unavailable <= 0)
        return title;
    return title + QLatin1Char('\n') + tr("%n hot keys unavailable", unavailable);
}
