// Registration of the active master macro's hot keys, and delivery of a note's text.
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "hotkeys/consolekeys.h"
#include "hotkeys/globalshortcut.h"
#include "hotkeys/pastedelivery.h"
#include "hotkeys/shortcutregistry.h"
#include "mainwindow/unavailablemarks.h"
#include "store/macrostore.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QSet>
#include <QSettings>
#include <QStyle>
#include <QTimer>

namespace {

// Time between the clipboard write and the paste key stroke, so the user can let go of the hot
// key and the clipboard has settled.
constexpr int PasteDelayMs = 1000;
// The target fetches the clipboard only after it has seen Ctrl+V; a queued press must not
// replace the text before then.
constexpr int PasteSettleMs = 500;

} // namespace

void MainWindow::registerShortcuts(const QString &masterName)
{
    const QList<MacroStore::NoteCode> notes = MacroStore::noteCodes(masterName);
    for (const MacroStore::NoteCode &note : notes) {
        // The server acts on these itself; the note is marked instead (markUnavailableKeys).
        if (ConsoleKeys::isConsoleSwitchKey(note.code))
            continue;
        auto *shortcut = new GlobalShortcut(QKeySequence(note.code, 0, 0, 0), ui->treeMacros);
        connect(shortcut, &GlobalShortcut::activated, this, &MainWindow::shortcutActivated);
    }
    markUnavailableKeys(masterName);
}

void MainWindow::clearShortcuts()
{
    qDeleteAll(ui->treeMacros->findChildren<GlobalShortcut *>());
    markUnavailableKeys(QString());
}

// No message box: a key another program holds is the user's to notice in the tree or the tray.
void MainWindow::markUnavailableKeys(const QString &live)
{
    QSet<int> unregistered;
    const QList<GlobalShortcut *> shortcuts = ui->treeMacros->findChildren<GlobalShortcut *>();
    for (const GlobalShortcut *shortcut : shortcuts) {
        if (!shortcut->isRegistered() && !shortcut->shortcut().isEmpty())
            unregistered.insert(shortcut->shortcut()[0].toCombined());
    }
    const int unavailable = UnavailableMarks::markTree(
        ui->treeMacros, live, unregistered, style()->standardIcon(QStyle::SP_MessageBoxWarning));
    if (m_trayIcon)
        m_trayIcon->setToolTip(UnavailableMarks::trayToolTip(windowTitle(), unavailable));
}

// Presses are delivered one after another in press order, each with its own full wait after
// its own clipboard write. The wait runs on a timer so the window keeps repainting; a press
// during it only joins the queue and touches the clipboard once the earlier paste is sent and
// its target has had time to fetch the text.
void MainWindow::shortcutActivated()
{
    auto *shortcut = qobject_cast<GlobalShortcut *>(sender());
    if (!shortcut)
        return;
    const QKeySequence sequence = shortcut->shortcut();
    m_pendingDeliveries.append(sequence.isEmpty() ? 0 : sequence[0].toCombined());
    if (!m_pasteTimer) {
        m_pasteTimer = new QTimer(this);
        m_pasteTimer->setSingleShot(true);
        m_pasteTimer->setTimerType(Qt::PreciseTimer); // never shorter than the full wait
        m_pasteTimer->setInterval(PasteDelayMs);
        connect(m_pasteTimer, &QTimer::timeout, this, &MainWindow::pasteAndDeliverNext);
        m_settleTimer = new QTimer(this);
        m_settleTimer->setSingleShot(true);
        m_settleTimer->setInterval(PasteSettleMs);
        m_delivery = new PasteDelivery(this);
        // Also when nothing waits yet: a press right after the paste must not overtake it.
        connect(m_delivery, &PasteDelivery::finished, m_settleTimer, qOverload<>(&QTimer::start));
        connect(m_settleTimer, &QTimer::timeout, this, [this] {
            m_delivery->end();
            deliverNextNote();
        });
    }
    if (!m_delivery->isBusy() && !m_settleTimer->isActive())
        deliverNextNote();
}

// The text of the first note of the active master macro, in store order, whose code is `code`.
bool MainWindow::findNoteText(int code, QString *text) const
{
    for (int i = 0; i < ui->treeMacros->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *master = ui->treeMacros->topLevelItem(i);
        if (master->data(0, Qt::CheckStateRole).toInt() != Qt::Checked)
            continue;
        // Only the first checked master macro is searched, match or not.
        QSettings store;
        store.beginGroup(MacroStore::MasterMacrosGroup);
        store.beginGroup(master->text(0));
        store.beginGroup(MacroStore::MacrosGroup);
        const QStringList notes = store.childGroups();
        for (const QString &note : notes) {
            store.beginGroup(note);
            if (MacroStore::readCode(store) == code) {
                *text = MacroStore::readText(store);
                return true;
            }
            store.endGroup();
        }
        return false;
    }
    return false;
}

void MainWindow::deliverNextNote()
{
    while (!m_pendingDeliveries.isEmpty()) {
        const int code = m_pendingDeliveries.takeFirst();
        QString text;
        if (!findNoteText(code, &text))
            continue;
        m_delivery->begin(code, text);
        m_pasteTimer->start();
        return;
    }
}

void MainWindow::pasteAndDeliverNext()
{
    m_delivery->pasteWhenKeysAreFree();
}
