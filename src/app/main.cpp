#include "app/appidentity.h"
#include "app/application.h"
#include "app/singleinstance.h"
#include "app/terminationsignals.h"
#include "buildconfig.h"
#include "hotkeys/platform.h"
#include "store/macrostore.h"
#include "store/storewrite.h"

#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Q_INIT_RESOURCE(keyquill);
    AppIdentity::apply();

    SingleInstanceGuard guard;
    switch (guard.claim()) {
    case SingleInstanceGuard::Role::Second:
        // Another instance runs: ask it to come forward and leave without a word.
        guard.sendRestoreRequest();
        return -2;
    case SingleInstanceGuard::Role::Unguarded:
        QMessageBox::warning(nullptr, QCoreApplication::applicationName(),
                             QCoreApplication::translate("main", "%1\nKeyquill runs without its "
                                                                 "single-instance guard.")
                                 .arg(guard.problem()));
        break;
    case SingleInstanceGuard::Role::First:
        break;
    }

    const QString unusable = StoreWrite::unusableNativeStore();
    if (!unusable.isEmpty()) {
        QMessageBox::warning(nullptr, QCoreApplication::applicationName(), unusable);
        return 1;
    }
    // Kept while the window lives: the start check and the window read one parse of the store.
    // (A store in a folder the user chose is checked by the window's own reading of it.)
    const std::unique_ptr<QSettings> store = MacroStore::openSettings(QString());
    MacroStore::MasterList masters;
    const QString storeProblem = StoreWrite::prepareAtStart(*store, &masters);
    if (!storeProblem.isEmpty())
        QMessageBox::warning(nullptr, QCoreApplication::applicationName(), storeProblem);

    TerminationSignals::endEventLoopOnThem();
    int code = 0;
    {
        // Made once for the program's life; nothing in it waits for the desktop.
        const std::unique_ptr<Platform> platform = Platform::create();
        Application keyquill(*platform, nullptr, {KEYQUILL_UPDATE_CHECK_ENABLED != 0}, masters);
        QObject::connect(&guard, &SingleInstanceGuard::restoreRequested, &keyquill,
                         &Application::restore);
        keyquill.showAtStart(AppIdentity::wantsMinimizeToTray(QCoreApplication::arguments()));
        // Start-up measurements (bench/) only: leave as soon as the event loop runs. exit(), as
        // "&Quit" does: quit() asks the windows to close, and the main window refuses.
        if (qEnvironmentVariableIsSet("KEYQUILL_BENCH_QUIT"))
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        code = QApplication::exec();
        keyquill.keepUnsavedEdit();
    }
    Q_CLEANUP_RESOURCE(keyquill);
    return code;
}
