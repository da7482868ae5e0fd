// Press-to-clipboard and press-to-paste of the real delivery path, on whatever session it runs
// in: X11 (DISPLAY, QT_QPA_PLATFORM=xcb) or Wayland (inside tests/hotkeys/wayland/kdesession.sh,
// whose Xvfb in DISPLAY is the keyboard). The text field that receives the paste is this
// program started again with --target; then a terminal (konsole on Wayland, xterm on X11)
// receives it. Prints the times of BENCH_RUNS presses (default 5) into each.
#include "benchutil.h"
#include "support/testenv.h"
#include "xclient.h"

#include "hotkeys/platform.h"
#include "support/enginerig.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <X11/keysym.h>

namespace {

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// What another program reads from the clipboard now.
QString outsideClipboard(QProcess &target)
{
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        QProcess paste;
        paste.start(QStringLiteral("wl-paste"), {QStringLiteral("-n")});
        if (!paste.waitForFinished(500)) {
            paste.kill();
            paste.waitForFinished();
        }
        return QString::fromUtf8(paste.readAllStandardOutput());
    }
    // Waiting with the event loop running: the program serves the clipboard it owns.
    target.write("c\n");
    QElapsedTimer wait;
    wait.start();
    while (!target.canReadLine() && wait.elapsed() < 1000)
        QTest::qWait(1);
    return QString::fromUtf8(QByteArray::fromBase64(target.readLine().trimmed()));
}

int runTarget(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QPlainTextEdit field;
    const QString path = QString::fromLocal8Bit(argv[2]);
    QObject::connect(&field, &QPlainTextEdit::textChanged, [&field, path] {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(field.toPlainText().toUtf8());
    });
    QFile input;
    input.open(stdin, QIODevice::ReadOnly);
    QSocketNotifier notifier(0, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&input] {
        if (input.readLine().isEmpty())
            QApplication::quit();
        std::printf("%s\n", QApplication::clipboard()->text().toUtf8().toBase64().constData());
        std::fflush(stdout);
    });
    field.show();
    field.activateWindow(); // X11 without a window manager
    return QApplication::exec();
}

// Starts a terminal that writes what it is given to `file` and waits until it has the focus;
// false when there is none to start. On Wayland konsole (KWin gives a new window the focus),
// on X11 xterm (given the focus as a user would).
bool startTerminal(QProcess &terminal, const QString &file, Platform &platform)
{
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    const QString program = wayland ? QStringLiteral("konsole") : QStringLiteral("xterm");
    if (QStandardPaths::findExecutable(program).isEmpty())
        return false;
    const QString shell = QStringLiteral("sh -c \"stty -icanon -echo; cat > %1\"").arg(file);
    terminal.startCommand(wayland ? QStringLiteral("konsole --separate --nofork -e ") + shell
                                  : QStringLiteral("xterm -T kq-bench -e ") + shell);
    QElapsedTimer wait;
    wait.start();
    while (!QFile::exists(file) && wait.elapsed() < 20000)
        QTest::qWait(10);
    if (!wayland)
        return QProcess::execute(QStringLiteral("xdotool"),
                                 {QStringLiteral("search"), QStringLiteral("--sync"),
                                  QStringLiteral("--name"), QStringLiteral("kq-bench"),
                                  QStringLiteral("windowfocus"), QStringLiteral("--sync")}) == 0;
    while (platform.focus().focusedWindowClass().value(0) != program && wait.elapsed() < 20000)
        QTest::qWait(10);
    return platform.focus().focusedWindowClass().value(0) == program;
}

void print(const char *what, const QList<qint64> &times)
{
    std::printf("%s (ms):", what);
    for (qint64 ms : times)
        std::printf(" %lld", ms);
    std::printf("\n");
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--target") == 0)
        return runTarget(argc, argv);
    QApplication app(argc, argv);
    TestEnvironment environment;
    const int runs = qEnvironmentVariableIntValue("BENCH_RUNS") > 0
                         ? qEnvironmentVariableIntValue("BENCH_RUNS")
                         : 5;
    const QString text = QStringLiteral("Grüße,\nzweite Zeile");
    TestEnvironment::writeNote("Bench", "note", (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined(),
                               text);
    MacroStore store;
    XClient keyboard;
    QTemporaryDir dir;
    const QString arrived = dir.filePath(QStringLiteral("arrived"));
    QProcess target;
    target.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--target"), arrived});
    QTest::qWait(2000);

    const std::unique_ptr<Platform> platform = Platform::create();
    EngineRig rig(*platform, store);
    rig.live.choose(QStringLiteral("Bench"));
    QTest::qWait(1000);
    std::printf("%s\n", qPrintable(platform->shortcuts().description()));
    // Presses the hot key `runs` times; the time until the text is at the end of `file`, and
    // until another program reads it from the clipboard when `toClipboard` is given.
    const auto measure = [&](const QString &file, QList<qint64> *toClipboard) {
        QList<qint64> toPaste;
        for (int run = 0; run < runs; ++run) {
            const QString before = readFile(file);
            platform->clipboard().setClipboard(QStringLiteral("before %1").arg(run),
                                               QClipboard::Clipboard);
            QTest::qWait(700);
            QElapsedTimer clock;
            clock.start();
            keyboard.press({XK_Control_L, XK_Alt_L}, keyboard.keycode(XK_a));
            while (toClipboard && outsideClipboard(target) != text && clock.elapsed() < 5000)
                QTest::qWait(1);
            if (toClipboard)
                toClipboard->append(clock.elapsed());
            while (readFile(file) != before + text && clock.elapsed() < 5000)
                QTest::qWait(1);
            toPaste.append(clock.elapsed());
            QTest::qWait(Delivery::Timing().settleMs);
        }
        return toPaste;
    };
    QList<qint64> toClipboard;
    const QList<qint64> toField = measure(arrived, &toClipboard);
    print("press to clipboard", toClipboard);
    print("press to paste, Qt text field", toField);
    QProcess terminal;
    const QString typed = dir.filePath(QStringLiteral("typed"));
    if (startTerminal(terminal, typed, *platform))
        print("press to paste, terminal", measure(typed, nullptr));
    else
        std::printf("press to paste, terminal: no terminal had the focus\n");
    terminal.kill();
    terminal.waitForFinished();
    return 0;
}
