#include "app/appidentity.h"
#include "app/application.h"
#include "app/commandline.h"
#include "app/guardchannel.h"
#include "app/remotecontrol.h"
#include "app/singleinstance.h"
#include "app/terminationsignals.h"
#include "buildconfig.h"
#include "hotkeys/platform.h"
#include "store/macrostore.h"
#include "store/storewrite.h"

#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QTextStream>
#include <QTimer>

namespace {

// A call to the running instance: `keyquill --list`, `--deliver`, `--pick`. Why it failed goes
// to `why`, or to stderr.
int callRunning(const CommandLine &command, QString *why = nullptr)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream kept(why);
    if (!command.problem.isEmpty()) {
        err << "keyquill: " << command.problem << Qt::endl;
        return CommandLine::NoSuchNote;
    }
    return RemoteControl::call(command, out, why ? kept : err);
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine command = CommandLine::parse(arguments);
    // For scripts and completion: no display needed.
    if (command.action == CommandLine::Action::List ||
        command.action == CommandLine::Action::Deliver || !command.problem.isEmpty()) {
        QCoreApplication core(argc, argv);
        AppIdentity::apply();
        return callRunning(command);
    }

    QApplication app(argc, argv);
    Q_INIT_RESOURCE(keyquill);
    AppIdentity::apply();
    const bool pick = command.action == CommandLine::Action::Pick;
    // With none running, this start becomes the instance, in the tray, and opens the pick.
    if (pick) {
        QString why;
        const int code = callRunning(command, &why);
        if (code != CommandLine::Unreachable)
            return code;
        if (GuardChannel::isHeld(SingleInstanceGuard::baseKey())) {
            QTextStream(stderr) << why;
            return code;
        }
    }

    SingleInstanceGuard guard;
    switch (guard.claim()) {
    case SingleInstanceGuard::Role::Second:
        // Another instance runs: ask it to come forward and leave without a word.
        if (pick) {
            QTextStream(stderr) << "keyquill: "
                                << QCoreApplication::translate(
                                       "main", "the running Keyquill cannot be reached.")
                                << Qt::endl;
            return CommandLine::Unreachable;
        }
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
        // The command line and other programs reach the instance here; without it, only its
        // own hot keys and windows.
        QString why;
        if (!keyquill.offerRemoteControl(&why))
            qInfo("Keyquill cannot be called from the command line: %s", qPrintable(why));
        keyquill.showAtStart(pick ||
                             AppIdentity::wantsMinimizeToTray(QCoreApplication::arguments()));
        if (pick)
            QTimer::singleShot(0, &keyquill, &Application::pick);
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
