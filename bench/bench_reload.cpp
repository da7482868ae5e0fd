// The window over a store of 10,000 notes (100 master macros of 100) in a chosen folder: how long
// the tree and the live hot keys take to follow a change another machine made (a note added to
// the live master macro and one changed, the file replaced by a rename as sync tools do), from
// the moment the change is noticed; and from the rename to the window showing it, the watch's
// settling wait included. Run it offscreen or with an X server (QT_QPA_PLATFORM=xcb).
#include "benchutil.h"
#include "quietplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include "app/application.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/storefollower.h"
#include "store/preferences.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestEnvironment environment;
    Bench::fillStore(100, 100);
    QTemporaryDir folder;
    const QString file = folder.filePath(MacroStore::FileName);
    QFile::copy(QSettings().fileName(), file);
    QSettings().remove(MacroStore::MasterMacrosGroup);
    Preferences::saveStoreFolder(folder.path());
    QFile original(file);
    original.open(QIODevice::ReadOnly);
    const QByteArray bytes = original.readAll();

    ScriptedDialogs dialogs;
    QuietPlatform platform;
    Application program(platform.platform(), &dialogs, Application::Options{false});
    MainWindow &window = program.window();
    window.showMaximized();
    if (!QTest::qWaitForWindowExposed(&window))
        std::printf("the window was not exposed\n");
    window.findChild<QTreeWidget *>()->setFocus();
    window.live().choose(QStringLiteral("Master 050"));
    StoreFollower *follower = window.findChild<StoreFollower *>();
    QApplication::processEvents();

    int round = 0;
    // Another machine's version: a note added to the live master macro, another one's text.
    const auto otherMachineWrites = [&](int) {
        ++round;
        QByteArray changed = bytes;
        changed.replace("thank you for note 7 of Master 050.",
                        QByteArray("changed ") + QByteArray::number(round));
        changed += QStringLiteral("Master 050\\Macros\\Added %1\\shortcut=%2\n"
                                  "Master 050\\Macros\\Added %1\\text=added\n")
                       .arg(round)
                       .arg((Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_F12).toCombined())
                       .toUtf8();
        QFile out(file + QStringLiteral(".tmp"));
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(changed);
        out.close();
        ::rename(QFile::encodeName(out.fileName()), QFile::encodeName(file));
    };
    const auto drain = [](int) {
        QTest::qWait(400); // the watch's own notice of the change comes and goes
    };
    drain(0);
    otherMachineWrites(0);
    Bench::measure(
        "noticed to tree and hot keys", 9, [&](int) { follower->follow(); },
        [&](int i) {
            drain(i);
            otherMachineWrites(i);
        });
    drain(0);
    Bench::measure(
        "rename to tree and hot keys", 9,
        [&](int i) {
            QSignalSpy followed(follower, &StoreFollower::followed);
            otherMachineWrites(i);
            followed.wait(5000);
        },
        drain);
    // 100 of its own and the one added last: the hot keys followed the file.
    std::printf("live master macro's notes now: %d (101 expected)\n",
                int(window.live().codes().size()));
    return 0;
}
