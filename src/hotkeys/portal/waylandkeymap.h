#pragma once

#include <QObject>

struct wl_display;
struct wl_keyboard;
struct wl_registry;
struct wl_seat;
struct xkb_context;
struct xkb_keymap;
class QSocketNotifier;

// The keymap the compositor runs its keyboard through, as it gives it to every client's keyboard
// (the focus is not needed for that): read on a Wayland connection of our own, since Qt keeps
// its own to itself. It follows the desktop's changes of layouts. Nothing here waits.
class WaylandKeymap final : public QObject
{
    Q_OBJECT

public:
    explicit WaylandKeymap(QObject *parent = nullptr);
    ~WaylandKeymap() override;

    // Null until the compositor has sent it, and where there is no Wayland keyboard.
    xkb_keymap *keymap() const { return m_keymap; }
    // Counts the keymaps sent: a plan made for one is stale once this moves.
    int generation() const { return m_generation; }

    // For the protocol's listeners.
    void seatAnnounced(wl_registry *registry, uint32_t name, uint32_t version);
    void seatCapabilities(uint32_t capabilities);
    void keymapSent(uint32_t format, int fd, uint32_t size);

private:
    void readEvents();
    void disconnect();

    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    wl_seat *m_seat = nullptr;
    wl_keyboard *m_keyboard = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    xkb_context *m_context = nullptr;
    xkb_keymap *m_keymap = nullptr;
    int m_generation = 0;
};
