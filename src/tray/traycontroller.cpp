#include "traycontroller.h"

#include "engine/keyregistration.h"
#include "engine/livemaster.h"
#include "tray/trayicon.h"
#include "tray/xembedtraywatch.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMainWindow>

TrayController::TrayController(QMainWindow &window, std::function<QStringList()> masters,
                               LiveMaster &live, KeyRegistration &keys, QAction *quit)
    : QObject(&window), m_window(window), m_masters(std::move(masters)), m_live(live), m_keys(keys),
      m_tray(new TrayIcon(window.windowIcon(), quit, &window)),
      m_xembedTray(new XEmbedTrayWatch(this))
{
    showLive();
    connect(m_tray, &TrayIcon::activated, this, &TrayController::toggleWindow);
    connect(m_tray, &TrayIcon::masterChosen, this, &TrayController::choose);
    connect(&m_live, &LiveMaster::liveChanged, this, &TrayController::syncMasters);
    connect(&m_live, &LiveMaster::liveChanged, this, &TrayController::showLive);
    connect(&m_keys, &KeyRegistration::changed, this, &TrayController::showLive);
    m_mastersSync.setSingleShot(true);
    m_mastersSync.setInterval(0);
    connect(&m_mastersSync, &QTimer::timeout, this, &TrayController::syncMasters);
    // The hot keys another program let go of meanwhile are taken when the user looks.
    connect(m_tray, &TrayIcon::menuAboutToShow, &m_keys, &KeyRegistration::retryUnavailable);
    connect(m_tray, &TrayIcon::statusNotifierTrayChanged, this,
            &TrayController::takeWindowIntoTray);
    connect(m_xembedTray, &XEmbedTrayWatch::changed, this, &TrayController::takeWindowIntoTray);
    m_window.installEventFilter(this);
    syncMasters();
    // The program lives in the tray: with the window hidden, closing any other window (a
    // message box, a dialog) would otherwise count as closing the last one and end it.
    QApplication::setQuitOnLastWindowClosed(false);
}

void TrayController::mastersChanged()
{
    m_mastersSync.start();
}

void TrayController::syncMasters()
{
    m_tray->showMasters(m_masters(), m_live.name());
}

void TrayController::showLive()
{
    // What holds for every hot key (XWayland's limits) stands first.
    QStringList news{m_keys.caveat(), m_keys.quickPickRefusal(), m_pasteFailure, m_fillInWarning};
    news.removeAll(QString());
    m_tray->showLive(TrayIcon::toolTip(m_window.windowTitle(), m_live.name(), m_unavailable,
                                       news.join(QLatin1Char('\n'))),
                     m_keys.hasLiveKeys());
}

void TrayController::setUnavailable(int count)
{
    m_unavailable = count;
    showLive();
}

// A note left partly as written is said in the tool tip until the next delivery.
void TrayController::showFillInWarning(const QString &warning)
{
    m_fillInWarning = warning;
    showLive();
}

void TrayController::showDelivered(const QString &failure, const QString &warning)
{
    m_pasteFailure = failure.isEmpty() ? warning : failure;
    showLive();
    // A note that went out, typed in part or pasted rather than typed, was still delivered.
    if (!failure.isEmpty())
        m_tray->showMessage(tr("Keyquill did not paste"), failure);
    else if (!warning.isEmpty())
        m_tray->showMessage(tr("Keyquill delivered the note with a change"), warning);
}

void TrayController::showMessage(const QString &title, const QString &text)
{
    m_tray->showMessage(title, text);
}

void TrayController::setMastersEnabled(bool enabled)
{
    m_mastersEnabled = enabled;
    m_tray->setMastersEnabled(enabled);
}

void TrayController::choose(const QString &master)
{
    // As a click on the box would: nothing while the editor holds unsaved edits.
    if (m_mastersEnabled)
        m_live.choose(m_live.isLive(master) ? QString() : master);
}

void TrayController::toggleWindow()
{
    // A minimized window is out of sight: the click asks for it.
    if (m_window.isVisible() && !m_window.isMinimized()) {
        m_window.setVisible(false);
        return;
    }
    userShowsWindow();
    // A Wayland client cannot take its window out of the minimized state; mapped anew it comes up.
    if (m_window.isMinimized() &&
        QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        m_window.hide();
    m_window.showMaximized();
}

void TrayController::userShowsWindow()
{
    m_hiddenUnsure = false;
    m_waitingForTray = false;
}

bool TrayController::trayRuns() const
{
    return m_tray->inStatusNotifierTray() || m_xembedTray->isPresent();
}

void TrayController::keepOnClose()
{
    // Closing only hides: the hot keys must stay live. Without a tray to come back from, the
    // window stays in the task bar, minimized. Right at start (--minimize-to-tray) the bus may
    // not have said yet whether a tray runs: hidden until it has.
    m_hiddenUnsure = !m_tray->knowsTray();
    m_waitingForTray = !m_hiddenUnsure && !trayRuns();
    if (m_waitingForTray)
        m_window.showMinimized();
    else
        m_window.setVisible(false);
}

void TrayController::takeWindowIntoTray()
{
    // At log-in the panel may come up after the program: once it does, the window closed
    // before it goes where it would have gone.
    if (m_hiddenUnsure && m_tray->knowsTray()) {
        m_hiddenUnsure = false;
        if (!trayRuns()) {
            m_waitingForTray = true;
            m_window.showMinimized();
        }
    } else if (m_waitingForTray && m_window.isVisible() && trayRuns()) {
        m_window.close();
    }
}

bool TrayController::eventFilter(QObject *watched, QEvent *event)
{
    // A window the user has come back to is no longer waiting for a tray.
    if (event->type() == QEvent::ActivationChange && m_window.isActiveWindow())
        m_waitingForTray = false;
    return QObject::eventFilter(watched, event);
}
