#pragma once

#include "core/notematcher.h"
#include "quickpick/quickpickmodel.h"

#include <memory>
#include <QWidget>

class QModelIndex;

namespace Ui {
class QuickPickPopup;
}

// The small window of "Pick a note": a search field over the notes it finds. Typing filters,
// Up/Down/PgUp/PgDn move, Enter or a double click picks, Esc or a click elsewhere closes. It
// holds its notes only while it lives: made when the hot key is pressed, gone once it closes.
class QuickPickPopup final : public QWidget
{
    Q_OBJECT

public:
    // `notes` in store order (a copy shares what they hold); `recent` names the notes used last,
    // newest first; the notes of `live` (the live master macro) follow them.
    QuickPickPopup(const NoteMatcher &notes, const QStringList &recent,
                   const QString &live = QString(), QWidget *parent = nullptr);
    ~QuickPickPopup() override;

    // Shows it in front of everything, in the middle of the screen under the pointer; a Wayland
    // desktop's `activationToken` lets it take the keyboard.
    void popUp(const QString &activationToken = QString());

Q_SIGNALS:
    // After the popup has closed: the note to deliver.
    void picked(const QString &master, const QString &note, const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void search(const QString &query);
    void pick(const QModelIndex &index);

    std::unique_ptr<Ui::QuickPickPopup> ui;
    NoteMatcher m_matcher;
    QuickPickModel m_model;
    bool m_wasActive = false; // had the keyboard once: losing it closes the window
};
