#include "trayhost.h"

#include <QDeadlineTimer>
#include <QThread>

#include <xcb/xcb.h>

bool TrayHost::start()
{
    m_process.start(QStringLiteral("trayer"), {});
    if (!m_process.waitForStarted())
        return false;
    const QDeadlineTimer deadline(10000);
    while (!isRunning()) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running)
            return false;
        QThread::msleep(50);
    }
    return true;
}

void TrayHost::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

bool TrayHost::isRunning()
{
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    bool owned = false;
    if (!xcb_connection_has_error(connection)) {
        const char name[] = "_NET_SYSTEM_TRAY_S0";
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
        if (atom) {
            xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
                connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
            owned = owner && owner->owner != XCB_NONE;
            free(owner);
            free(atom);
        }
    }
    xcb_disconnect(connection);
    return owned;
}
