// An abbreviation typed on a real X server (DISPLAY): from the XTest press of its last key to
// the replacement on screen in a GTK field (zenity --entry) and in a Qt field (this program,
// started again with --qt-field), for the keyquill binary and, turn by turn in the same run,
// for AutoKey's phrase abbreviations (autokey-gtk, when installed). Both replace ":sig" with the
// same text the moment its last key is typed (no trigger key), and each runs alone: it is
// started for its turn, shown it works once (not counted), measured once in each field and
// ended. "On screen" is the field's window, read back from the X server, equal pixel for pixel
// to the same text typed by hand (cursors do not blink here). Prints median, min and max per
// program and field and the ratio; BENCH_RUNS turns (default 9). Judges nothing.
#include "store/macrostore.h"
#include "support/testenv.h"

#include <algorithm>
#include <cstdio>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QThread>
#include <vector>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

const QString Text = QStringLiteral("Best regards");
const QString Before = QStringLiteral("x "); // the abbreviation at a word's start

struct Field
{
    const char *name;
    Window window = None;
    std::vector<quint32> expected; // the window showing Before + Text
};

int xdotool(const QStringList &arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments);
}

std::vector<quint32> pixels(Display *display, Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return {};
    XImage *image = XGetImage(display, window, 0, 0, unsigned(attributes.width),
                              unsigned(attributes.height), AllPlanes, ZPixmap);
    if (!image)
        return {};
    std::vector<quint32> all;
    all.reserve(size_t(image->width) * size_t(image->height));
    for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x)
            all.push_back(quint32(XGetPixel(image, x, y) & 0xFFFFFF));
    }
    XDestroyImage(image);
    return all;
}

// The field raised, focused and emptied, then `typed` in it, given time to be painted.
void prepare(const Field &field, const QString &typed)
{
    // Above whatever window the program under measure shows (there is no window manager).
    xdotool({QStringLiteral("windowraise"), QString::number(field.window)});
    xdotool(
        {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(field.window)});
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+a"), QStringLiteral("BackSpace")});
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), typed});
    // Past the half second in which Keyquill waits for the target to fetch the last replacement
    // before it puts the clipboard back: a replacement is timed alone, not queued behind that.
    QThread::msleep(700);
}

// The last key of ":sig" pressed, then the time until the field shows the replacement; -1 when
// it did not within `ms`.
double round(Display *display, const Field &field, int ms)
{
    prepare(field, Before + QStringLiteral(":si"));
    const KeyCode g = XKeysymToKeycode(display, XK_g);
    QElapsedTimer clock;
    clock.start();
    XTestFakeKeyEvent(display, g, True, CurrentTime);
    XTestFakeKeyEvent(display, g, False, CurrentTime);
    XFlush(display);
    while (clock.elapsed() < ms) {
        if (pixels(display, field.window) == field.expected)
            return double(clock.nsecsElapsed()) / 1e6;
        QThread::usleep(300);
    }
    return -1;
}

Window findWindow(const QString &title)
{
    QProcess search;
    search.start(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--sync"),
                  QStringLiteral("--onlyvisible"), QStringLiteral("--name"), title});
    if (!search.waitForFinished(20000))
        return None;
    return search.readAllStandardOutput().split('\n').value(0).toULong();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// One phrase, ":sig" -> Text, typed as keys (its default) the moment its last key comes, in a
// folder of its own; no first-run window, no tray icon, and no undo by BackSpace, which would
// put ":sig" back when a round empties the field.
bool configureAutoKey(const QString &config)
{
    const QByteArray abbreviation = R"("abbreviation": {"abbreviations": [%1], "backspace": true,
        "ignoreCase": false, "immediate": %2, "triggerInside": false, "wordChars": "[\\w]"},
        "hotkey": {"modifiers": [], "hotKey": null}, "filter": {"regex": null,
        "isRecursive": false})";
    const QString folder = config + QStringLiteral("/autokey/data/Bench/");
    return writeFile(config + QStringLiteral("/autokey/autokey.json"),
                     R"({"version": "0.95.10", "userCodeDir": null, "folders": [],
        "settings": {"isFirstRun": false, "serviceRunning": true, "showTrayIcon": false,
                     "undoUsingBackspace": false},
        "toggleServiceHotkey": {"modifiers": ["<shift>", "<super>"], "hotKey": "k",
                                "enabled": true},
        "configHotkey": {"modifiers": ["<super>"], "hotKey": "k", "enabled": true}})") &&
           writeFile(folder + QStringLiteral(".folder.json"),
                     R"({"type": "folder", "title": "Bench", "modes": [], "usageCount": 0,
        "showInTrayMenu": false, )" +
                         QByteArray(abbreviation).replace("%1", "").replace("%2", "false") + "}") &&
           writeFile(folder + QStringLiteral(".sig.json"),
                     R"({"type": "phrase", "description": "sig", "modes": [1], "usageCount": 0,
        "prompt": false, "omitTrigger": false, "matchCase": false, "showInTrayMenu": false,
        "sendMode": "kb", )" +
                         QByteArray(abbreviation).replace("%1", "\":sig\"").replace("%2", "true") +
                         "}") &&
           writeFile(folder + QStringLiteral("sig.txt"), Text.toUtf8());
}

struct Program
{
    const char *name;
    QString binary;
    QStringList arguments;
    QProcessEnvironment environment;
    int settleMs;
    std::vector<double> times[2];
};

// Started, shown to replace once in the Qt field (it may need a while to listen), measured once
// in each field, ended.
void turn(Display *display, Program &program, Field (&fields)[2], int turnNumber)
{
    QProcess process;
    process.setProcessEnvironment(program.environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program.binary, program.arguments);
    if (!process.waitForStarted()) {
        std::printf("  %s did not start\n", program.name);
        return;
    }
    QThread::msleep(program.settleMs);
    bool ready = false;
    for (int attempt = 0; attempt < 10 && !ready; ++attempt)
        ready = round(display, fields[1], 3000) >= 0;
    if (!ready) {
        std::printf("  turn %d: %s replaced nothing\n", turnNumber, program.name);
    } else {
        for (int f = 0; f < 2; ++f) {
            const double ms = round(display, fields[f], 5000);
            if (ms < 0)
                std::printf("  turn %d: %s, %s field: not as typed by hand within 5 s\n",
                            turnNumber, program.name, fields[f].name);
            else
                program.times[f].push_back(ms);
        }
    }
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
    }
    QThread::msleep(300);
}

double report(const Program &program, const Field &field, int f)
{
    std::vector<double> times = program.times[f];
    if (times.empty()) {
        std::printf("%-10s %-4s no figures\n", program.name, field.name);
        return -1;
    }
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    std::printf("%-10s %-4s median %7.1f ms (min %7.1f, max %7.1f, %zu rounds)\n", program.name,
                field.name, median, times.front(), times.back(), times.size());
    return median;
}

int qtField(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::styleHints()->setCursorFlashTime(0);
    QLineEdit field;
    field.setWindowTitle(QStringLiteral("kq-abbrev-qt"));
    field.setGeometry(40, 400, 360, 40);
    field.show();
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && QByteArray(argv[1]) == "--qt-field")
        return qtField(argc, argv);
    QCoreApplication app(argc, argv);
    TestEnvironment environment; // its own settings folder and guard key
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::printf("bench_abbrevlatency needs an X server (DISPLAY)\n");
        return 1;
    }
    const int count = qEnvironmentVariableIntValue("BENCH_RUNS") > 0
                          ? qEnvironmentVariableIntValue("BENCH_RUNS")
                          : 9;
    // Keyquill: a live master macro at start whose note has the abbreviation, replacing on.
    TestEnvironment::writeNote(QStringLiteral("Live"), QStringLiteral("sig"), 0, Text);
    if (!MacroStore().saveNote(QStringLiteral("Live"), QStringLiteral("sig"), 0, Text,
                               QStringLiteral(":sig")))
        return 1;
    {
        QSettings settings;
        settings.setValue(QStringLiteral("Preferences/expandAbbreviations"), true);
        settings.setValue(QStringLiteral("Preferences/tickLastLiveAtStart"), true);
        settings.setValue(QStringLiteral("Preferences/lastLiveMasterMacro"),
                          QStringLiteral("Live"));
    }
    // Steady cursors in both fields, so that a finished field is always the same picture.
    if (!writeFile(environment.configDir() + QStringLiteral("/gtk-3.0/settings.ini"),
                   "[Settings]\ngtk-cursor-blink=false\n"))
        return 1;
    QProcess gtk;
    QProcess qt;
    gtk.start(QStringLiteral("zenity"), {QStringLiteral("--entry"), QStringLiteral("--title"),
                                         QStringLiteral("kq-abbrev-gtk")});
    qt.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--qt-field")});
    Field fields[2] = {{"GTK", None, {}}, {"Qt", None, {}}};
    fields[0].window = findWindow(QStringLiteral("kq-abbrev-gtk"));
    fields[1].window = findWindow(QStringLiteral("kq-abbrev-qt"));
    if (fields[0].window == None || fields[1].window == None) {
        std::printf("the fields did not appear (zenity and xdotool are needed)\n");
        return 1;
    }
    // Side by side, never covering each other, the pointer away from both.
    xdotool({QStringLiteral("windowmove"), QString::number(fields[0].window), QStringLiteral("40"),
             QStringLiteral("40")});
    xdotool({QStringLiteral("mousemove"), QStringLiteral("1200"), QStringLiteral("1000")});
    for (Field &field : fields) {
        prepare(field, Before + Text);
        QThread::msleep(500);
        field.expected = pixels(display, field.window);
    }

    // A session bus of their own, as on a desktop; AutoKey in a home of its own.
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"),
               QStringLiteral("--print-address=1")});
    const QString address =
        bus.waitForReadyRead(5000) ? QString::fromUtf8(bus.readLine().trimmed()) : QString();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!address.isEmpty())
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    Program keyquill{"keyquill",
                     qEnvironmentVariable("BENCH_KEYQUILL", KEYQUILL_BINARY),
                     {QStringLiteral("--minimize-to-tray")},
                     env,
                     2000,
                     {}};
    std::vector<Program *> programs{&keyquill};
    QTemporaryDir home;
    const QString config = home.path() + QStringLiteral("/config");
    Program autokey{"AutoKey", QStandardPaths::findExecutable(QStringLiteral("autokey-gtk")),
                    {},        env,
                    3000,      {}};
    if (autokey.binary.isEmpty()) {
        std::printf("autokey-gtk is not installed: Keyquill alone\n");
    } else if (address.isEmpty()) {
        std::printf("no session bus for AutoKey (dbus-daemon): Keyquill alone\n");
    } else if (!configureAutoKey(config)) {
        std::printf("AutoKey's settings could not be written: Keyquill alone\n");
    } else {
        autokey.environment.insert(QStringLiteral("HOME"), home.path());
        autokey.environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        for (const char *name : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
            autokey.environment.insert(QString::fromLatin1(name),
                                       home.path() + QLatin1Char('/') + QLatin1String(name));
        programs.push_back(&autokey);
    }

    std::printf("\":sig\" -> \"%s\", last key to replacement on screen, %d turns\n",
                qPrintable(Text), count);
    std::fflush(stdout);
    for (int n = 1; n <= count; ++n) {
        // Who goes first alternates.
        for (size_t p = 0; p < programs.size(); ++p)
            turn(display, *programs[(p + size_t(n)) % programs.size()], fields, n);
    }
    for (int f = 0; f < 2; ++f) {
        const double ours = report(keyquill, fields[f], f);
        if (programs.size() > 1) {
            const double theirs = report(autokey, fields[f], f);
            if (ours > 0 && theirs > 0)
                std::printf("%s field: keyquill beside AutoKey %.2fx\n", fields[f].name,
                            ours / theirs);
        }
    }
    gtk.kill();
    qt.kill();
    bus.kill();
    gtk.waitForFinished();
    qt.waitForFinished();
    bus.waitForFinished();
    XCloseDisplay(display);
    return 0;
}
