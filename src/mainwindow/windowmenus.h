#pragma once

#include <functional>

class FileCommands;
class MacroCommands;
class MacroTreeItems;
class MainWindow;
class QAction;
class QMenuBar;
class QToolBar;
class QWidget;

// The window's actions where the user finds them: the menus, the tool bar and the tree's context
// menu, each action handing over to the object that owns what it does.
class WindowMenus final
{
public:
    struct Places
    {
        QWidget *tree = nullptr; // its context menu; the tree's actions live while it does
        QMenuBar *menuBar = nullptr;
        QToolBar *toolBar = nullptr;
    };
    struct Owners
    {
        MacroCommands *commands = nullptr;
        FileCommands *files = nullptr;
        const MacroTreeItems *items = nullptr; // the icons
        std::function<void()> renamed;         // after a rename went through
    };

    // Returns "&Quit", which the tray offers too.
    static QAction *build(MainWindow &window, const Places &places, const Owners &owners);
};
