#pragma once

#include <QKeySequence>
#include <QObject>

class ShortcutRegistry;

// A system-wide hot key: while the object lives, pressing its combination in any application
// emits activated(). Destroying the object releases the combination. Registration may fail
// quietly (another program holds the combination, or there is no X11 display); the object then
// exists and never fires.
//
// Several objects of one registry may hold the same combination; the platform grab is shared and
// kept until the last of them goes, and a press emits activated() on the oldest of them only.
class GlobalShortcut final : public QObject
{
    Q_OBJECT

public:
    // The registry must outlive the object.
    GlobalShortcut(const QKeySequence &shortcut, ShortcutRegistry &registry,
                   QObject *parent = nullptr);
    ~GlobalShortcut() override;

    QKeySequence shortcut() const { return m_shortcut; }
    // True when the platform accepted the combination.
    bool isRegistered() const { return m_registered; }

Q_SIGNALS:
    void activated();
    // isRegistered() changed after construction (a keyboard mapping change, a lost grab).
    void registrationChanged();

private:
    friend class ShortcutRegistry;

    ShortcutRegistry &m_registry;
    QKeySequence m_shortcut;
    bool m_registered = false;
};
