#include "waylandkeymap.h"

#include <algorithm>
#include <cstring>
#include <QSocketNotifier>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

namespace {

// Up to wl_keyboard.release; nothing newer is needed.
constexpr uint32_t SeatVersion = 5;
// A compositor's keymap is some 60 KiB; a bigger one is not read.
constexpr uint32_t KeymapLimit = 4 * 1024 * 1024;

WaylandKeymap *self(void *data)
{
    return static_cast<WaylandKeymap *>(data);
}

const wl_registry_listener RegistryListener = {
    [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version) {
        if (std::strcmp(interface, wl_seat_interface.name) == 0)
            self(data)->seatAnnounced(registry, name, version);
    },
    [](void *, wl_registry *, uint32_t) {},
};

const wl_seat_listener SeatListener = {
    [](void *data, wl_seat *, uint32_t capabilities) {
        self(data)->seatCapabilities(capabilities);
    },
    [](void *, wl_seat *, const char *) {},
};

const wl_keyboard_listener KeyboardListener = {
    [](void *data, wl_keyboard *, uint32_t format, int32_t fd, uint32_t size) {
        self(data)->keymapSent(format, fd, size);
    },
    [](void *, wl_keyboard *, uint32_t, wl_surface *, wl_array *) {},
    [](void *, wl_keyboard *, uint32_t, wl_surface *) {},
    [](void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void *, wl_keyboard *, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
    [](void *, wl_keyboard *, int32_t, int32_t) {},
};

} // namespace

WaylandKeymap::WaylandKeymap(QObject *parent) : QObject(parent)
{
    m_display = wl_display_connect(nullptr);
    m_context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!m_display || !m_context) {
        disconnect();
        return;
    }
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &RegistryListener, this);
    wl_display_flush(m_display);
    m_notifier = new QSocketNotifier(wl_display_get_fd(m_display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &WaylandKeymap::readEvents);
}

WaylandKeymap::~WaylandKeymap()
{
    disconnect();
    if (m_keymap)
        xkb_keymap_unref(m_keymap);
    if (m_context)
        xkb_context_unref(m_context);
}

void WaylandKeymap::disconnect()
{
    delete std::exchange(m_notifier, nullptr);
    if (m_keyboard)
        wl_keyboard_destroy(std::exchange(m_keyboard, nullptr));
    if (m_seat)
        wl_seat_destroy(std::exchange(m_seat, nullptr));
    if (m_registry)
        wl_registry_destroy(std::exchange(m_registry, nullptr));
    if (m_display)
        wl_display_disconnect(std::exchange(m_display, nullptr));
}

void WaylandKeymap::readEvents()
{
    while (wl_display_prepare_read(m_display) != 0)
        wl_display_dispatch_pending(m_display);
    // The socket said it has data: this read does not block.
    if (wl_display_read_events(m_display) < 0 || wl_display_dispatch_pending(m_display) < 0) {
        // The compositor went away; the keymap read last stays good for what it typed.
        disconnect();
        return;
    }
    wl_display_flush(m_display);
}

void WaylandKeymap::seatAnnounced(wl_registry *registry, uint32_t name, uint32_t version)
{
    if (m_seat)
        return; // the first seat is the desktop's keyboard
    m_seat = static_cast<wl_seat *>(
        wl_registry_bind(registry, name, &wl_seat_interface, std::min(version, SeatVersion)));
    wl_seat_add_listener(m_seat, &SeatListener, this);
}

void WaylandKeymap::seatCapabilities(uint32_t capabilities)
{
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !m_keyboard) {
        m_keyboard = wl_seat_get_keyboard(m_seat);
        wl_keyboard_add_listener(m_keyboard, &KeyboardListener, this);
    }
}

void WaylandKeymap::keymapSent(uint32_t format, int fd, uint32_t size)
{
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0 && size <= KeymapLimit) {
        // The compositor may share the pages with every client: read them privately.
        void *text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (text != MAP_FAILED) {
            xkb_keymap *keymap =
                xkb_keymap_new_from_buffer(m_context, static_cast<const char *>(text),
                                           strnlen(static_cast<const char *>(text), size),
                                           XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
            munmap(text, size);
            if (keymap) {
                if (m_keymap)
                    xkb_keymap_unref(m_keymap);
                m_keymap = keymap;
                ++m_generation;
            }
        }
    }
    close(fd);
}
