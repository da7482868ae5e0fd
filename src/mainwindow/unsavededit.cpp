#include "unsavededit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSettings>

namespace {

// Far more than any note a person writes; a bigger file is not one of ours.
constexpr qint64 MaxSize = 64 * 1024 * 1024;

} // namespace

QString UnsavedEdit::fileName()
{
    return QFileInfo(QSettings().fileName())
        .dir()
        .filePath(QStringLiteral("Keyquill-unsaved-note.json"));
}

bool UnsavedEdit::keep() const
{
    const QByteArray bytes = QJsonDocument(QJsonObject{{QStringLiteral("master"), master},
                                                       {QStringLiteral("note"), note},
                                                       {QStringLiteral("shortcut"), code},
                                                       {QStringLiteral("text"), text}})
                                 .toJson();
    QDir().mkpath(QFileInfo(fileName()).path());
    QSaveFile file(fileName());
    // Private before a byte of the note is in it.
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(bytes) != bytes.size() || !file.commit())
        return false;
    // A full disk can leave a short file behind a commit that said yes.
    bool damaged = false;
    const std::optional<UnsavedEdit> written = read(&damaged);
    if (written && written->text == text)
        return true;
    forget();
    return false;
}

std::optional<UnsavedEdit> UnsavedEdit::read(bool *damaged)
{
    *damaged = false;
    const QFileInfo info(fileName());
    if (!info.exists())
        return std::nullopt;
    // A regular file only: opening anything else could block.
    QFile file(fileName());
    const QJsonDocument document =
        info.isFile() && info.size() <= MaxSize && file.open(QIODevice::ReadOnly)
            ? QJsonDocument::fromJson(file.read(MaxSize))
            : QJsonDocument();
    const QJsonObject object = document.object();
    UnsavedEdit edit{object.value(QStringLiteral("master")).toString(),
                     object.value(QStringLiteral("note")).toString(),
                     object.value(QStringLiteral("shortcut")).toInt(),
                     object.value(QStringLiteral("text")).toString()};
    if (edit.master.isEmpty() || edit.note.isEmpty() ||
        !object.value(QStringLiteral("text")).isString()) {
        *damaged = true;
        return std::nullopt;
    }
    return edit;
}

void UnsavedEdit::forget()
{
    QFile::remove(fileName());
}
