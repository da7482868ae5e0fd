// Typing rate and faithfulness: types a text of several alphabets into a Qt text field (another
// process), a VTE (GTK) terminal and xterm, and prints for each rate how long it took and whether
// every character arrived once. On X11 (DISPLAY, QT_QPA_PLATFORM=xcb) the rates of BENCH_RATES
// (characters a second, 0 for as fast as the server takes them; default "300 500 1000 2000 0")
// with BENCH_CHARS characters (default 3000); under `setxkbmap ru` most of the Latin is lent
// keys, under `us` the Cyrillic; BENCH_DISTINCT=N types N different CJK characters in turn
// instead, so that spare keys must be lent anew. On Wayland (inside
// tests/hotkeys/wayland/kdesession.sh), through the desktop's remote desktop portal: one line per
// alphabet, as sent and as arrived, then the rate on BENCH_CHARS (default 1000) characters the
// US layout has.
#include "support/testenv.h"

#include "hotkeys/platform.h"
#include "hotkeys/x11/x11lentkeys.h"
#include "hotkeys/x11/x11typist.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A target that writes what it is given to `file`, with the focus; false when none started.
bool startTarget(QProcess &target, const QString &kind, const QString &file)
{
    const QString shell = QStringLiteral("sh -c \"stty -icanon -echo; cat > %1\"").arg(file);
    if (kind == QLatin1String("qt"))
        target.start(QStringLiteral(BENCH_DELIVERY_BINARY), {QStringLiteral("--target"), file});
    else if (QStandardPaths::findExecutable(kind).isEmpty())
        return false;
    else if (kind == QLatin1String("xterm"))
        target.startCommand(QStringLiteral("xterm -u8 -T kq-typing -e ") + shell);
    else if (kind == QLatin1String("konsole"))
        target.startCommand(QStringLiteral("konsole --separate --nofork -e ") + shell);
    else
        target.startCommand(kind + QStringLiteral(" --disable-server -T kq-typing -x ") + shell);
    // The field makes its file with its first character.
    if (kind == QLatin1String("qt")) {
        QTest::qWait(2000);
        return target.state() == QProcess::Running;
    }
    QElapsedTimer wait;
    wait.start();
    while (!QFile::exists(file) && wait.elapsed() < 20000)
        QTest::qWait(10);
    QTest::qWait(300);
    if (kind == QLatin1String("konsole"))
        return QFile::exists(file);
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("search"), QStringLiteral("--sync"),
                              QStringLiteral("--name"), QStringLiteral("kq-typing"),
                              QStringLiteral("windowfocus"), QStringLiteral("--sync")}) == 0;
}

// How `arrived` differs from `sent`: "exact", or the length and the first difference.
QString compare(const QString &sent, const QString &arrived)
{
    if (sent == arrived)
        return QStringLiteral("exact");
    qsizetype at = 0;
    while (at < sent.size() && at < arrived.size() && sent.at(at) == arrived.at(at))
        ++at;
    return QStringLiteral("DIFFERS: %1 of %2 UTF-16 units, first difference at %3 (\"%4\")")
        .arg(arrived.size())
        .arg(sent.size())
        .arg(at)
        .arg(arrived.mid(at, 12));
}

// With `distinct` > 0: that many CJK characters over and over, more than the spare keys hold.
QString sample(int characters, int distinct)
{
    if (distinct > 0) {
        QString text;
        for (int i = 0; i < characters; ++i)
            text += QChar(0x4e00 + i % distinct);
        return text;
    }
    const QString pieces[] = {QStringLiteral("Quick brown fox, "), QStringLiteral("Съешь же ещё "),
                              QStringLiteral("Grüße à l'été; "), QStringLiteral("Ωμέγα 中文 😀"),
                              QStringLiteral("\n\t")};
    QString text;
    for (int i = 0; text.toUcs4().size() < characters; ++i)
        text += pieces[i % 5];
    return text;
}

void typeWith(const std::function<void(const QString &, KeyOutput::Done)> &type,
              const QString &text, const QString &file, int rate)
{
    const QString before = readFile(file);
    bool done = false;
    QString failure;
    QElapsedTimer clock;
    clock.start();
    type(text, [&](const QString &why) {
        failure = why;
        done = true;
    });
    while (!done)
        QTest::qWait(1);
    const qint64 typedMs = clock.elapsed();
    QString arrived;
    qint64 last = -1;
    // Until nothing more comes for a second.
    for (QElapsedTimer quiet; arrived.size() != last || quiet.elapsed() < 1000;) {
        if (arrived.size() != last) {
            last = arrived.size();
            quiet.start();
        }
        QTest::qWait(20);
        arrived = readFile(file).mid(before.size());
    }
    const qsizetype characters = text.toUcs4().size();
    std::printf("  rate %5d: %lld characters in %lld ms = %.0f/s; %s%s\n", rate,
                static_cast<long long>(characters), static_cast<long long>(typedMs),
                1000.0 * double(characters) / double(qMax<qint64>(1, typedMs)),
                qPrintable(compare(text, arrived)),
                failure.isEmpty() ? "" : qPrintable(QStringLiteral(" (") + failure + ')'));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestEnvironment environment;
    QTemporaryDir dir;
    const std::unique_ptr<Platform> platform = Platform::create();
    std::printf("%s\n", qPrintable(platform->shortcuts().description()));
    const bool wayland = QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    const QStringList targets =
        wayland ? QStringList{QStringLiteral("qt"), QStringLiteral("konsole")}
                : QStringList{QStringLiteral("qt"), QStringLiteral("xfce4-terminal"),
                              QStringLiteral("xterm")};
    for (const QString &kind : targets) {
        QProcess target;
        const QString file = dir.filePath(kind);
        if (!startTarget(target, kind, file)) {
            std::printf("%s: did not start\n", qPrintable(kind));
            continue;
        }
        std::printf("%s:\n", qPrintable(kind));
        if (wayland) {
            const auto type = [&](const QString &text, KeyOutput::Done done) {
                platform->keys().typeText(text, std::move(done));
            };
            for (const QString &line :
                 {QStringLiteral("Latin ASCII: Hello, World! 123 ~^|"),
                  QStringLiteral("Latin-1 and beyond: é ß ñ ł ő € "),
                  QStringLiteral("Cyrillic: Съешь же ещё этих булок"),
                  QStringLiteral("Greek: Ωμέγα"), QStringLiteral("CJK: 中文字"),
                  QStringLiteral("Emoji: 😀👍"), QStringLiteral("tab\tand line\n")}) {
                const QString before = readFile(file);
                typeWith(type, line, file, 0);
                std::printf("    sent:    %s\n    arrived: %s\n", qPrintable(line),
                            qPrintable(readFile(file).mid(before.size())));
            }
            // The rate, on what the layout has (US: capitals and punctuation take Shift).
            QString latin;
            const int characters = qEnvironmentVariableIntValue("BENCH_CHARS") > 0
                                       ? qEnvironmentVariableIntValue("BENCH_CHARS")
                                       : 1000;
            while (latin.size() < characters)
                latin += QStringLiteral("Quick brown Fox: jumps over 12 lazy Dogs! ");
            typeWith(type, latin.left(characters), file, 0);
        } else {
            X11LentKeys lent(qgetenv("DISPLAY"));
            X11Typist typist(qgetenv("DISPLAY"), lent);
            const auto type = [&](const QString &text, KeyOutput::Done done) {
                typist.type(text, std::move(done));
            };
            const QString rates = qEnvironmentVariable("BENCH_RATES", "300 500 1000 2000 0");
            const int characters = qEnvironmentVariableIntValue("BENCH_CHARS") > 0
                                       ? qEnvironmentVariableIntValue("BENCH_CHARS")
                                       : 3000;
            for (const QString &rate : rates.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                typist.setCharactersPerSecond(rate.toInt() > 0 ? rate.toInt() : 1000000);
                typeWith(type, sample(characters, qEnvironmentVariableIntValue("BENCH_DISTINCT")),
                         file, rate.toInt());
            }
        }
        target.kill();
        target.waitForFinished();
    }
    return 0;
}
