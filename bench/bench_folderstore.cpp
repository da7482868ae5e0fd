// The store in a folder others write to: its speed, and what attacks on it cost. The store layer
// alone (Qt Core), so that any version of it can be built with this file. Prints what happened
// and how long it took; run it under /usr/bin/time -v for the peak memory, and with a time limit
// (a store that blocks never ends).
//   bench_folderstore speed   a store of 10,000 notes (100 master macros of 100): reading the
//                             notes of one master macro (what a hot-key press reads) and saving
//                             one note, each after another program's change and without one
//   bench_folderstore zero    the store a link to /dev/zero
//   bench_folderstore pipe        the store a named pipe (nothing writes to it)
//   bench_folderstore copy-pipe   a conflict copy beside it a link to a named pipe
//   bench_folderstore writer [s] [n]  another program truncates and rewrites a store of 1,000 notes
//                             in place about n times a second (80) for s seconds (60) while 20
//                             edits are saved; before each of its writes it counts its notes in
//                             the file
#include "store/macrostore.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sys/stat.h>

namespace {

QByteArray storeOf(int notes)
{
    QByteArray ini("[MasterMacros]\n");
    for (int i = 0; i < notes; ++i)
        ini += "Writer\\Macros\\w" + QByteArray::number(i) + "\\shortcut=0\nWriter\\Macros\\w" +
               QByteArray::number(i) + "\\text=Dear customer, thank you for your message.\n";
    return ini;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// `before` runs ahead of each round, untimed.
template <typename Action>
void measure(const char *name, Action action, const std::function<void(int)> &before = {})
{
    QList<qint64> times;
    for (int round = 0; round < 15; ++round) {
        if (before)
            before(round);
        QElapsedTimer clock;
        clock.start();
        action(round);
        times.append(clock.nsecsElapsed());
    }
    std::sort(times.begin(), times.end());
    std::printf("%-40s median %8.2f ms   worst %8.2f ms   (15 rounds)\n", name,
                times.at(times.size() / 2) / 1e6, times.last() / 1e6);
}

int speed(const QTemporaryDir &folder)
{
    const QString store = folder.filePath(QStringLiteral("Keyquill.conf"));
    QByteArray ini("[MasterMacros]\n");
    for (int m = 0; m < 100; ++m)
        for (int n = 0; n < 100; ++n)
            ini += QStringLiteral("Master %1\\Macros\\Note %2\\shortcut=%3\nMaster %1\\Macros\\"
                                  "Note %2\\text=Dear customer, thank you for note %2.\n")
                       .arg(m)
                       .arg(n)
                       .arg(0x04000041 + n % 26)
                       .toUtf8();
    writeFile(store, ini);
    // As the file comes from another machine: its time as it had there.
    QFile file(store);
    file.open(QIODevice::ReadWrite);
    file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
    file.close();
    MacroStore ours(store);
    ours.masters();
    const QString live = QStringLiteral("Master 50");
    measure("press: notes of a master macro", [&](int) { ours.notes(live); });
    measure("save: one note", [&](int round) {
        ours.saveNote(live, QStringLiteral("Note 7"), 0, QString::number(round));
    });
    // Another program's change first (the file replaced, its time as on the other machine).
    const auto theirs = [&](int round) {
        const QString next = store + QStringLiteral(".tmp");
        QByteArray changed = ini;
        changed.replace("thank you for note 9.", "changed " + QByteArray::number(round) + '.');
        writeFile(next, changed);
        QFile moved(next);
        moved.open(QIODevice::ReadWrite);
        moved.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                          QFileDevice::FileModificationTime);
        moved.close();
        QFile::remove(store);
        QFile::rename(next, store);
    };
    measure(
        "press after another program's change", [&](int) { ours.notes(live); }, theirs);
    measure(
        "save after another program's change",
        [&](int round) {
            ours.saveNote(live, QStringLiteral("Note 7"), 0, QString::number(round));
        },
        theirs);
    return 0;
}

int writer(const QTemporaryDir &folder, int seconds, int rate)
{
    const QString store = folder.filePath(QStringLiteral("Keyquill.conf"));
    const QString version = folder.filePath(QStringLiteral("version"));
    writeFile(version, storeOf(1000));
    writeFile(store, storeOf(1000));
    QProcess other;
    other.setProcessChannelMode(QProcess::MergedChannels);
    other.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"),
                 QStringLiteral("i=0; while [ $i -lt $3 ]; do i=$((i + 1)); "
                                "n=$(grep -c '^Writer.Macros.w.*text=' \"$1\"); echo $n; "
                                "cat \"$2\" >\"$1\"; sleep $4; done"),
                 QStringLiteral("writer"), store, version, QString::number(seconds * rate),
                 // Some 7 ms a round go to grep and cat.
                 QString::number(std::max(0.0, 1.0 / rate - 0.0075), 'f', 4)});
    other.waitForStarted();
    MacroStore ours(store);
    int saved = 0;
    int refused = 0;
    qint64 longest = 0;
    QElapsedTimer clock;
    clock.start();
    for (int edit = 0; edit < 20; ++edit) {
        while (clock.elapsed() < qint64(edit) * seconds * 1000 / 20)
            QThread::msleep(10);
        QElapsedTimer save;
        save.start();
        ++(ours.saveNote(QStringLiteral("Mine"), QString::number(edit), 0, QStringLiteral("mine"))
               ? saved
               : refused);
        longest = std::max(longest, save.elapsed());
    }
    other.waitForFinished(-1);
    const QList<QByteArray> counts = other.readAll().split('\n');
    int looks = 0;
    int fewest = 1000;
    int short_ = 0;
    for (const QByteArray &count : counts) {
        if (count.isEmpty())
            continue;
        ++looks;
        fewest = std::min(fewest, count.toInt());
        short_ += count.toInt() < 1000;
    }
    std::printf("saves: %d whole, %d refused (longest %lld ms); the writer wrote %d times in %lld "
                "s; its notes before each write: fewest %d of 1000, fewer than 1000 %d times\n",
                saved, refused, static_cast<long long>(longest), looks,
                static_cast<long long>(clock.elapsed() / 1000), fewest, short_);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QTemporaryDir folder;
    const QString store = folder.filePath(QStringLiteral("Keyquill.conf"));
    const QString pipe = folder.filePath(QStringLiteral("pipe"));
    ::mkfifo(QFile::encodeName(pipe).constData(), 0600);
    QElapsedTimer clock;
    clock.start();
    if (what == QLatin1String("speed"))
        return speed(folder);
    if (what == QLatin1String("writer"))
        return writer(folder, argc > 2 ? QByteArray(argv[2]).toInt() : 60,
                      argc > 3 ? std::max(1, QByteArray(argv[3]).toInt()) : 80);
    QString read;
    if (what == QLatin1String("zero") || what == QLatin1String("pipe")) {
        if (what == QLatin1String("zero"))
            QFile::link(QStringLiteral("/dev/zero"), store);
        else
            QFile::rename(pipe, store);
        read = QString::number(MacroStore(store).masters().size());
    } else if (what == QLatin1String("copy-pipe")) {
        writeFile(store, storeOf(10));
        const QString copy = folder.filePath(QStringLiteral("Keyquill.sync-conflict-1-2-A.conf"));
        QFile::link(pipe, copy);
        read = QString::number(MacroStore(copy).notes(QStringLiteral("Writer")).size());
    } else {
        std::printf("usage: %s speed|zero|pipe|copy-pipe|writer [seconds [writes a second]]\n",
                    argv[0]);
        return 2;
    }
    std::printf("%s: read %s master macros or notes in %lld ms\n", qPrintable(what),
                qPrintable(read), static_cast<long long>(clock.elapsed()));
    return 0;
}
