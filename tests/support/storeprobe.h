#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QSettings;
class QTreeWidget;
class QTreeWidgetItem;

// What the tests read back from the macro store and the tree, shared by the test units.
namespace StoreProbe {

// Every key under the settings object's current group as "key=value", sorted. Values as
// text: a native file gives strings back once it has been written and read again.
QStringList dump(QSettings &settings);
QString text(const QString &master, const QString &note);
int code(const QString &master, const QString &note);
// The combinations of the live hot keys under `tree`, sorted.
QList<int> liveCodes(const QTreeWidget *tree);
// The master macro `master`, or its note `note`; null when there is none.
QTreeWidgetItem *item(const QTreeWidget *tree, const QString &master, const QString &note = {});
// Makes that item current (and selected), as a click would; false when there is none.
bool select(QTreeWidget *tree, const QString &master, const QString &note = {});

} // namespace StoreProbe
