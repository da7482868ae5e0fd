// Placeholders under load: notes that include each other ten wide, delivered by a press and
// previewed in the editor, and a press with a large clipboard held by another process for a
// note that does not ask for it. One case per run, so that /usr/bin/time -v gives its peak:
//   bench_fillin deliver 6|8     a press of a note whose includes make 10^6 or 10^8 copies
//   bench_fillin preview 6|8     the editor's "Delivers:" line for the same note
//   bench_fillin clipboard 100   a press of "Hi {{date}}" with 100 MB on the clipboard (needs X)
// Each prints its time and this process's peak memory (VmHWM) over what it held before.
#include "support/enginerig.h"
#include "support/fakeplatform.h"
#include "support/scripteddialogs.h"
#include "support/testenv.h"

#include "editor/noteeditor.h"
#include "store/macrostore.h"
#include "store/preferences.h"

#include <cstdio>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>

namespace {

const int Key = (Qt::CTRL | Qt::ALT | Qt::Key_A).toCombined();

long kilobytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// "top" includes w1 ten times, w1 includes w2 ten times, ... down to w<depth> ("x").
void writeTree(int depth)
{
    TestEnvironment::clearStore();
    TestEnvironment::writeNote("M", "top", Key, QStringLiteral("{{note:w1}}").repeated(10));
    for (int level = 1; level < depth; ++level)
        TestEnvironment::writeNote("M", QStringLiteral("w%1").arg(level), 0,
                                   QStringLiteral("{{note:w%1}}").arg(level + 1).repeated(10));
    TestEnvironment::writeNote("M", QStringLiteral("w%1").arg(depth), 0, QStringLiteral("x"));
}

void report(const char *what, const QElapsedTimer &clock, long before, const QString &detail)
{
    std::printf("%-24s %10.1f ms   peak %8.1f MiB over %6.1f MiB before   %s\n", what,
                double(clock.nsecsElapsed()) / 1e6, double(kilobytes("VmHWM:") - before) / 1024,
                double(before) / 1024, qPrintable(detail));
    std::fflush(stdout);
}

int press(const char *what, const QString &expectedStart)
{
    MacroStore store;
    FakePlatform platform;
    EngineRig rig(platform.platform(), store);
    rig.engine.setTiming({0, 0, 600000});
    Preferences preferences;
    preferences.setExpandPlaceholders(true);
    rig.apply(preferences);
    rig.live.choose(QStringLiteral("M"));
    QSignalSpy pasted(&rig.engine, &DeliveryEngine::pasteFinished);
    QString warning;
    QObject::connect(&rig.engine, &DeliveryEngine::fillInWarning,
                     [&warning](const QString &text) { warning = text; });
    const long before = kilobytes("VmHWM:");
    QElapsedTimer clock;
    clock.start();
    platform.press(Key);
    while (pasted.isEmpty())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const QString text = platform.pasted.value(0);
    report(what, clock, before,
           QStringLiteral("%1 characters pasted%2 %3")
               .arg(text.size())
               .arg(text.startsWith(expectedStart) ? QString() : QStringLiteral(" (unexpected)"))
               .arg(warning.left(60)));
    return 0;
}

int preview(const char *what)
{
    MacroStore store;
    ScriptedDialogs dialogs;
    NoteEditor editor;
    editor.attach(store, dialogs);
    editor.resize(600, 400);
    editor.show();
    auto *line = editor.findChild<QLabel *>(QStringLiteral("preview"));
    const long before = kilobytes("VmHWM:");
    QElapsedTimer clock;
    clock.start();
    editor.setFillIn(true);
    editor.showNote(QStringLiteral("M"), QStringLiteral("top"));
    while (line->text().isEmpty())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    report(what, clock, before, QStringLiteral("%1 characters shown").arg(line->text().size()));
    return 0;
}

// Owns the clipboard with `megabytes` of text until it is ended.
int holdClipboard(int megabytes)
{
    QGuiApplication::clipboard()->setText(QString(megabytes << 20, QLatin1Char('c')));
    std::printf("ready\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const int size = argc > 2 ? QByteArray(argv[2]).toInt() : 0;
    qputenv("QT_QPA_PLATFORM", mode == "hold" || mode == "clipboard" ? "xcb" : "offscreen");
    QApplication app(argc, argv);
    if (mode == "hold")
        return holdClipboard(size);
    TestEnvironment env;
    if ((mode == "deliver" || mode == "preview") && size > 0) {
        writeTree(size);
        const QByteArray what = mode + " ten wide, depth " + QByteArray::number(size);
        return mode == "deliver" ? press(what.constData(), QString()) : preview(what.constData());
    }
    if (mode == "clipboard" && size > 0) {
        TestEnvironment::clearStore();
        TestEnvironment::writeNote("M", "top", Key, QStringLiteral("Hi {{date:yyyy}}"));
        QProcess holder;
        holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        holder.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("hold"), QString::number(size)});
        if (!holder.waitForReadyRead(120000))
            return 2;
        const QByteArray what = QByteArray::number(size) + " MB clipboard, press";
        const int result = press(what.constData(), QStringLiteral("Hi "));
        holder.kill();
        holder.waitForFinished();
        return result;
    }
    std::fprintf(stderr, "usage: bench_fillin deliver|preview DEPTH | clipboard MEGABYTES\n");
    return 1;
}
