#pragma once

#include "support/fakeplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include "app/application.h"
#include "editor/noteeditor.h"
#include "mainwindow/mainwindow.h"

#include <QtTest>
#include <QtWidgets>

// The program, its main window offscreen, made again before every case over a store of three notes
// (Work: hello on Ctrl+Alt+A and bye; Home: h on Ctrl+Alt+A), its questions answered by a script,
// without the update check.
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
    std::unique_ptr<Application> m_app;
    MainWindow *m_window = nullptr;
    QTreeWidget *m_tree = nullptr;

    // The program started anew over the store as it is now (the update check as `options` say).
    void remake(const Application::Options &options = {false})
    {
        m_app.reset();
        m_app = std::make_unique<Application>(m_platform.platform(), m_dialogs.get(), options);
        m_window = &m_app->window();
        m_tree = m_window->findChild<QTreeWidget *>("treeMacros");
    }

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
        m_dialogs = std::make_unique<ScriptedDialogs>();
        remake();
        m_tree = m_window->findChild<QTreeWidget *>("treeMacros");
    }
};
