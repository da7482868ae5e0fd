#pragma once

#include "store/preferences.h"

#include <memory>
#include <QDialog>

class QEvent;
class FocusTracker;
class QKeySequence;
class QTableWidgetItem;

namespace Ui {
class PreferencesDlg;
}

// Edits a copy of the preferences: "General" holds the on/off choices, one check box each (add
// new ones there, with a line in showPreferences() and preferences()); "Paste key" holds the
// user's entries of the paste-key table.
class PreferencesDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit PreferencesDlg(const Preferences &preferences, QWidget *parent = nullptr);
    ~PreferencesDlg() override;

    // The preferences as the dialog shows them; rows without a window class are left out.
    Preferences preferences() const;
    // Starting at log-in is kept by the session's autostart entry, not with the preferences.
    void setStartAtLogin(bool start);
    bool startAtLogin() const;
    // The folder of the master macros as entered, "" for this computer's settings file. Taken
    // on apart from the preferences (StoreFollower::moveTo()).
    QString storeFolder() const;
    // False where the session does not name the focused program: the paste-key entries are
    // kept but cannot be edited, and a line says why.
    void setPasteKeysHonoured(bool honoured);
    // What "Pick a window…" asks for the class of the window clicked; without one the button
    // is off. Must outlive the dialog.
    void setWindowPicker(FocusTracker *picker);
    // Where the session binds no hot key of ours: why, and what the user can do instead, shown
    // above the choices.
    void setHotKeysRefused(const QString &why);
    // Where the session lets no program watch the keyboard: why (the check box is greyed out and
    // the reason shown). "" where it can.
    void setAbbreviationsUnavailable(const QString &why);

protected:
    void changeEvent(QEvent *event) override;

private Q_SLOTS:
    void on_btnAddPasteKey_clicked();
    void on_btnRemovePasteKey_clicked();
    void on_btnChooseStoreFolder_clicked();
    void on_btnPickWindow_clicked();

private:
    void showPreferences(const Preferences &preferences);
    void addPasteKeyRow(const QString &windowClass, int stroke);
    void checkQuickPickKey(const QKeySequence &keys);
    void addPickedWindow(const QStringList &names);
    // The key a row for this program starts with: the built-in one, else every other program's.
    int startingStroke(const QString &instance, const QString &className) const;
    void classEntered(QTableWidgetItem *item);

    std::unique_ptr<Ui::PreferencesDlg> ui;
    Preferences m_preferences; // what the dialog started from; keeps what it does not show
    FocusTracker *m_picker = nullptr;
};
