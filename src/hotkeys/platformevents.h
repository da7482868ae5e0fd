#pragma once

#include <QObject>
#include <QString>

// What the platform's roles tell the program as it runs.
class PlatformEvents final : public QObject
{
    Q_OBJECT

Q_SIGNALS:
    // The session's hot keys are known now, or changed (a Wayland desktop answered).
    void descriptionChanged();
    // The desktop gave a new keyboard token (or took it back with ""): keep it for the next run.
    void keyboardTokenChanged(const QString &token);
};
