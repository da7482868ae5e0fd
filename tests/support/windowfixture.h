#pragma once

#include "support/fakeplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include "mainwindow/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

// A main window, offscreen, made again before every case over a store of three notes (Work:
// hello on Ctrl+Alt+A and bye; Home: h on Ctrl+Alt+A), its questions answered by a script.
class WindowFixture : public QObject
{
    Q_OBJECT

protected:
    static inline const int CtrlAltA = (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined();
    static inline const QString Escapes = QStringLiteral(KEYQUILL_TEST_DATA "/escapes.mmacro");

    TestEnvironment m_env;
    FakePlatform m_platform;
    QTemporaryDir m_dir;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    std::unique_ptr<MainWindow> m_window;
    QTreeWidget *m_tree = nullptr;

    void trigger(const QString &text)
    {
        for (QAction *action : m_window->findChildren<QAction *>())
            if (action->text() == text)
                return action->trigger();
        QFAIL(qPrintable(text));
    }
    // Every item of the tree as "master" or "master/note|shown hot key", in tree order.
    QStringList treeDump() const
    {
        QStringList lines;
        for (QTreeWidgetItemIterator it(m_tree); *it; ++it)
            lines << ((*it)->parent()
                          ? (*it)->parent()->text(0) + '/' + (*it)->text(0) + '|' + (*it)->text(1)
                          : (*it)->text(0));
        return lines;
    }

private Q_SLOTS:
    void init()
    {
        TestEnvironment::clearStore();
        TestEnvironment::writeNote("Work", "hello", CtrlAltA, "Hello");
        TestEnvironment::writeNote("Work", "bye", 0, "Bye");
        TestEnvironment::writeNote("Home", "h", CtrlAltA, "Home");
        m_window.reset();
        m_dialogs = std::make_unique<ScriptedDialogs>();
        m_window = std::make_unique<MainWindow>(m_platform, m_dialogs.get());
        m_tree = m_window->findChild<QTreeWidget *>("treeMacros");
    }
};
