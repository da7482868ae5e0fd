#pragma once

#include <memory>
#include <QObject>
#include <QString>
#include <QStringList>

class QTemporaryFile;

// The names of the active window on a KWin Wayland session, which the portals never tell: a
// small KWin script, loaded over KWin's scripting interface, reports every change of the
// active window back to this object over D-Bus, so the names are at hand when a paste goes out.
class KWinFocusWatch final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.keyquill.FocusWatch")

public:
    explicit KWinFocusWatch(QObject *parent = nullptr);
    ~KWinFocusWatch() override;

    // Loads the script; nothing happens where KWin refuses it.
    void start();
    // True once the script has reported.
    bool isWatching() const { return m_watching; }
    // The resource name (the program's executable, or X11's instance name) and the resource
    // class (the Wayland application id, or X11's class) of the active window.
    QStringList focused() const { return m_focused; }

public Q_SLOTS:
    // Called by the script.
    Q_SCRIPTABLE void report(const QString &resourceName, const QString &resourceClass);

private:
    QString pluginName() const;
    void unloadLeftovers();

    std::unique_ptr<QTemporaryFile> m_script;
    QStringList m_focused;
    bool m_watching = false;
    bool m_loaded = false;
};
