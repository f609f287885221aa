// The activity library on a Wayland session: the compositor tells when the seat has been idle
// for a moment and when input resumes (ext-idle-notify-v1, else org_kde_kwin_idle). Neither
// protocol tells keyboard from mouse, so each installed hook reports every burst. Built as
// "wordpop-hook-wayland.so", which the activity library loads on Wayland sessions only. Relies on
// wayland-client and on the protocol code generated at build time.
#include "Watcher.h"

#if WORDPOP_HOOK_WAYLAND

#include "ext-idle-notify-v1-client-protocol.h"
#include "kde-idle-client-protocol.h"

#include <wayland-client.h>

#include <cerrno>
#include <cstring>

#include <poll.h>

namespace wordpophook {
namespace {

// Quiet this long counts as the end of a burst. While the seat is busy the watcher reports a
// burst every gap, so the program learns of the pause at most this much late.
constexpr uint32_t QuietMs = 500;

class WaylandWatcher : public Watcher {
public:
    static Watcher *open()
    {
        wl_display *display = wl_display_connect(nullptr);
        if (!display)
            return nullptr;
        auto *w = new WaylandWatcher(display);
        if (!w->usable() || !w->bind()) {
            delete w;
            return nullptr;
        }
        w->startThread();
        return w;
    }

    ~WaylandWatcher() override
    {
        stopThread();
        if (m_extNotification)
            ext_idle_notification_v1_destroy(m_extNotification);
        if (m_extNotifier)
            ext_idle_notifier_v1_destroy(m_extNotifier);
        if (m_kdeTimeout)
            org_kde_kwin_idle_timeout_release(m_kdeTimeout);
        if (m_kdeIdle)
            org_kde_kwin_idle_destroy(m_kdeIdle);
        if (m_seat)
            wl_seat_destroy(m_seat);
        if (m_registry)
            wl_registry_destroy(m_registry);
        if (!m_dead)
            wl_display_flush(m_display);
        wl_display_disconnect(m_display);
    }

private:
    explicit WaylandWatcher(wl_display *display)
        : Watcher(HookSourceNone), m_display(display) {}

    bool bind()
    {
        static const wl_registry_listener registryListener = {
            [](void *self, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
                auto *w = static_cast<WaylandWatcher *>(self);
                if (std::strcmp(interface, wl_seat_interface.name) == 0 && !w->m_seat)
                    w->m_seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
                else if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0 && !w->m_extNotifier)
                    w->m_extNotifier = static_cast<ext_idle_notifier_v1 *>(
                        wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
                else if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0 && !w->m_kdeIdle)
                    w->m_kdeIdle = static_cast<org_kde_kwin_idle *>(
                        wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
            },
            [](void *, wl_registry *, uint32_t) {},
        };
        m_registry = wl_display_get_registry(m_display);
        wl_registry_add_listener(m_registry, &registryListener, this);
        if (wl_display_roundtrip(m_display) < 0 || !m_seat)
            return false;

        if (m_extNotifier) {
            static const ext_idle_notification_v1_listener listener = {
                [](void *self, ext_idle_notification_v1 *) { static_cast<WaylandWatcher *>(self)->m_busy = false; },
                [](void *self, ext_idle_notification_v1 *) { static_cast<WaylandWatcher *>(self)->resumed(); },
            };
            m_extNotification = ext_idle_notifier_v1_get_idle_notification(m_extNotifier, QuietMs, m_seat);
            ext_idle_notification_v1_add_listener(m_extNotification, &listener, this);
            m_source = HookSourceExtIdle;
        } else if (m_kdeIdle) {
            static const org_kde_kwin_idle_timeout_listener listener = {
                [](void *self, org_kde_kwin_idle_timeout *) { static_cast<WaylandWatcher *>(self)->m_busy = false; },
                [](void *self, org_kde_kwin_idle_timeout *) { static_cast<WaylandWatcher *>(self)->resumed(); },
            };
            m_kdeTimeout = org_kde_kwin_idle_get_idle_timeout(m_kdeIdle, m_seat, QuietMs);
            org_kde_kwin_idle_timeout_add_listener(m_kdeTimeout, &listener, this);
            m_source = HookSourceKdeIdle;
        } else {
            return false; // the compositor keeps its idle time to itself
        }
        return wl_display_roundtrip(m_display) >= 0;
    }

    void resumed()
    {
        m_busy = true;
        seen(Keyboard);
        seen(Mouse);
    }

    void run() override
    {
        const int wfd = wl_display_get_fd(m_display);
        while (!m_dead) {
            while (wl_display_prepare_read(m_display) != 0) {
                if (wl_display_dispatch_pending(m_display) < 0) {
                    m_dead = true;
                    return;
                }
            }
            wl_display_flush(m_display);
            // A busy seat is input within the last QuietMs: report it every gap until it idles.
            if (m_busy) {
                seen(Keyboard);
                seen(Mouse);
            }
            int timeout = flushTrailing();
            if (m_busy && (timeout < 0 || timeout > int(BurstGap.count())))
                timeout = int(BurstGap.count());
            pollfd fds[2] = {{wfd, POLLIN, 0}, {m_wake, POLLIN, 0}};
            const int n = poll(fds, 2, timeout);
            if (n < 0 && errno != EINTR) {
                wl_display_cancel_read(m_display);
                break;
            }
            if (n > 0 && fds[1].revents) {
                wl_display_cancel_read(m_display);
                break;
            }
            if (n > 0 && (fds[0].revents & POLLIN)) {
                if (wl_display_read_events(m_display) < 0 || wl_display_dispatch_pending(m_display) < 0)
                    m_dead = true; // the compositor went away
            } else {
                wl_display_cancel_read(m_display);
                if (n > 0 && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)))
                    m_dead = true;
            }
        }
    }

    wl_display *m_display;
    wl_registry *m_registry = nullptr;
    wl_seat *m_seat = nullptr;
    ext_idle_notifier_v1 *m_extNotifier = nullptr;
    ext_idle_notification_v1 *m_extNotification = nullptr;
    org_kde_kwin_idle *m_kdeIdle = nullptr;
    org_kde_kwin_idle_timeout *m_kdeTimeout = nullptr;
    // Until the compositor first says "idle" the seat may have had input within QuietMs (and
    // "resumed" only follows "idle"), so a new watcher counts as busy.
    bool m_busy = true; // read and written on the watcher's thread only (after open)
};

} // namespace

} // namespace wordpophook

// The one entry point the activity library looks up.
extern "C" __attribute__((visibility("default"))) wordpophook::Watcher *wordpop_open_wayland_watcher()
{
    return wordpophook::WaylandWatcher::open();
}

#endif
