#include "windowmenus.h"

#include "buildconfig.h"
#include "mainwindow/filecommands.h"
#include "mainwindow/macrocommands.h"
#include "mainwindow/mainwindow.h"
#include "widgets/macrotreeitems.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QUrl>

QAction *WindowMenus::build(MainWindow &window, const Places &places, const Owners &owners)
{
    QWidget *tree = places.tree;
    FileCommands *files = owners.files;
    MacroCommands *commands = owners.commands;
    const auto make = [&window](QObject *owner, const QIcon &icon, const QString &text, auto slot,
                                const QString &shortcut = QString()) {
        auto *action = new QAction(icon, text, owner);
        action->setShortcut(QKeySequence(shortcut));
        QObject::connect(action, &QAction::triggered, &window, slot);
        return action;
    };
    QAction *exportAction =
        make(tree, {}, MainWindow::tr("&Export Master Macro"), [files] { files->exportMasters(); });
    QAction *importAction =
        make(tree, {}, MainWindow::tr("&Import Master Macro"), [commands] { commands->import(); });
    QAction *print = make(
        tree, {}, MainWindow::tr("&Print Master Macro"), [files] { files->print(false); },
        MainWindow::tr("Ctrl+P"));
    QAction *printAll = make(
        tree, {}, MainWindow::tr("&Print All Master Macros"), [files] { files->print(true); },
        MainWindow::tr("Ctrl+Alt+P"));
    QAction *quit = make(&window, {}, MainWindow::tr("&Quit"), [&window] { window.quit(); });
    QAction *addMaster = make(tree, owners.items->masterIcon(), MainWindow::tr("Add Master Macro"),
                              [commands] { commands->addMasterMacro(); });
    QAction *addNote = make(tree, owners.items->noteIcon(), MainWindow::tr("Add Note"),
                            [commands] { commands->addNote(); });
    QAction *rename =
        make(tree, {}, MainWindow::tr("Rename"), [commands, renamed = owners.renamed] {
            if (commands->rename())
                renamed();
        });
    QAction *remove = make(tree, {}, MainWindow::tr("Delete"), [commands] { commands->remove(); });
    QAction *about =
        make(&window, {}, MainWindow::tr("&About"), [&window] { Q_EMIT window.aboutAsked(); });
    QAction *instructions = make(&window, {}, MainWindow::tr("&Instructions"), [] {
        QDesktopServices::openUrl(
            QUrl(QStringLiteral("http://" KEYQUILL_VENDOR_HOST "/corvane_key_quill.php")));
    });
    QAction *preferences = make(&window, {}, MainWindow::tr("Preferences…"),
                                [&window] { Q_EMIT window.preferencesAsked(); });
    tree->addActions({addMaster, addNote, rename, remove, print, printAll});

    QMenu *file = places.menuBar->addMenu(MainWindow::tr("&File"));
    file->addActions({exportAction, importAction});
    file->addSeparator();
    file->addActions({print, printAll});
    file->addSeparator();
    file->addAction(quit);
    QMenu *edit = places.menuBar->addMenu(MainWindow::tr("&Edit"));
    edit->addActions({addMaster, addNote, rename, remove});
    edit->addSeparator();
    edit->addAction(preferences);
    places.menuBar->addSeparator();
    places.menuBar->addMenu(MainWindow::tr("&Help"))->addActions({about, instructions});
    places.toolBar->addActions({addMaster, addNote});
    return quit;
}
