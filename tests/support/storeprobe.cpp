#include "storeprobe.h"

#include "hotkeys/globalshortcut.h"
#include "store/macrostore.h"

#include <algorithm>
#include <QSettings>
#include <QTreeWidget>

namespace StoreProbe {

QStringList dump(QSettings &settings)
{
    QStringList lines;
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        lines << key + QLatin1Char('=') + settings.value(key).toString();
    lines.sort();
    return lines;
}

QString text(const QString &master, const QString &note)
{
    return QSettings()
        .value(QStringLiteral("MasterMacros/%1/Macros/%2/text").arg(master, note))
        .toString();
}

int code(const QString &master, const QString &note)
{
    return MacroStore::readCode(
        QSettings().value(QStringLiteral("MasterMacros/%1/Macros/%2/shortcut").arg(master, note)));
}

QList<int> liveCodes(const QTreeWidget *tree)
{
    QList<int> codes;
    const auto shortcuts = tree->findChildren<GlobalShortcut *>();
    for (const GlobalShortcut *shortcut : shortcuts)
        codes << shortcut->shortcut()[0].toCombined();
    std::sort(codes.begin(), codes.end());
    return codes;
}

QTreeWidgetItem *item(const QTreeWidget *tree, const QString &master, const QString &note)
{
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = tree->topLevelItem(i);
        if (top->text(0) != master)
            continue;
        if (note.isEmpty())
            return top;
        for (int j = 0; j < top->childCount(); ++j) {
            if (top->child(j)->text(0) == note)
                return top->child(j);
        }
    }
    return nullptr;
}

bool select(QTreeWidget *tree, const QString &master, const QString &note)
{
    QTreeWidgetItem *target = item(tree, master, note);
    if (target)
        tree->setCurrentItem(target);
    return target != nullptr;
}

} // namespace StoreProbe
