#pragma once

#include <functional>
#include <QList>
#include <QObject>

class QWidget;

// Boxes the program shows of its own accord (not in answer to a command): while the user is in
// another program, a box coming up would take the keyboard from it and the next keys typed would
// land in the box. Such a box waits until the user comes to the window: it is shown at once
// while the window is active, else as soon as it becomes active.
class PendingBoxes final : public QObject
{
    Q_OBJECT

public:
    explicit PendingBoxes(QWidget *window);

    // `box` shows the box (and waits for its answer, if it asks).
    void show(std::function<void()> box);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showWaiting();

    QWidget *m_window;
    QList<std::function<void()>> m_waiting;
};
