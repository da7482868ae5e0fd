#include "clipboardwriter.h"

#include "hotkeys/hotkeyplatform.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>

namespace {

void setThroughQt(const QString &text)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

} // namespace

void ClipboardWriter::setText(const QString &text)
{
    const QString wlCopy = HotKeyPlatform::isWayland()
                               ? QStandardPaths::findExecutable(QStringLiteral("wl-copy"))
                               : QString();
    if (wlCopy.isEmpty()) {
        setThroughQt(text);
        return;
    }
    // wl-copy stays in the background to serve the text until the clipboard changes hands;
    // the process we start returns once the text is on the clipboard.
    auto *process = new QProcess(QCoreApplication::instance());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, text](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             setThroughQt(text);
                             process->deleteLater();
                         }
                     });
    process->start(wlCopy, {QStringLiteral("--type"), QStringLiteral("text/plain;charset=utf-8")});
    process->write(text.toUtf8());
    process->closeWriteChannel();
}
