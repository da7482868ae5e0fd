#pragma once

#include <memory>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <vector>

class GlobalShortcut;
class ShortcutRegistry;
class ShortcutService;

// The system-wide hot keys the program holds: those of the live master macro's notes and the one
// of "Pick a note". Grabs them in one go, asks again every few seconds for those another program
// holds, and says which cannot work and why. Console-switch keys are never grabbed: the server
// keeps them, so they are reported unavailable instead. Knows only combinations; which note a
// press stands for is the live master macro's business (LiveMaster).
class KeyRegistration final : public QObject
{
    Q_OBJECT

public:
    // While another program holds some of the hot keys, they are asked for again this often.
    static constexpr int RetryMs = 5000;

    // Both must outlive this.
    KeyRegistration(ShortcutService &shortcuts, ShortcutRegistry &registry,
                    QObject *parent = nullptr);
    ~KeyRegistration() override;

    // Holds `codes` (0 for a note without a hot key; a combination several notes share once),
    // letting go of the ones held before.
    void hold(const QList<int> &codes);
    // Holds none of the notes' (a master macro is no longer live).
    void letGo();

    // The held codes that cannot work, with the reason.
    QHash<int, QString> unavailable() const;
    // What holds for every hot key that works here ("" when nothing needs saying).
    QString caveat() const;
    // The combinations held, each once, in the order of their first note.
    QList<int> liveCodes() const;
    // True while at least one of them is registered.
    bool hasLiveKeys() const;
    // Asks the platform again for the combinations it refused (another program may have let go).
    void retryUnavailable();

    // The hot key of "Pick a note", 0 for none. A note on the same combination gives way: it is
    // reported unavailable while the quick pick holds it.
    void setQuickPickCode(int code);
    int quickPickCode() const { return m_quickPickCode; }
    bool quickPickRegistered() const;
    // Why the platform refused the key of "Pick a note"; empty when it took it or there is none.
    QString quickPickRefusal() const;

Q_SIGNALS:
    // A held combination of a note was pressed.
    void pressed(int code);
    void quickPickPressed();
    void unavailableChanged();
    // Other combinations are held now.
    void changed();

private:
    void release();
    void reportUnavailable();

    ShortcutService &m_shortcuts;
    ShortcutRegistry &m_registry;
    QList<int> m_codes; // as last asked to hold, notes' order
    std::vector<std::unique_ptr<GlobalShortcut>> m_held;
    // Of the notes' codes, not grabbed: the server's console switches and the quick pick's.
    QList<int> m_kept;
    int m_quickPickCode = 0;
    std::unique_ptr<GlobalShortcut> m_quickPick;
    bool m_hadUnavailable = false;
    QTimer m_retry; // runs while the platform refuses some of them
};
