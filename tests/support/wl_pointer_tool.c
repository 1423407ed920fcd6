/* A pointer for a headless compositor, driven by lines on standard input:
 * a wlroots virtual pointer device (a headless wlroots seat has none of its
 * own), or KWin's fake input where that is what the compositor offers.
 *
 *   wl-pointer-tool WIDTH HEIGHT     (the output layout's extent in pixels)
 *   move X Y    absolute motion to X,Y of the layout
 *   by DX DY    relative motion
 *   down        left button press
 *   up          left button release
 *
 * Each line is answered with "ok" once the compositor has handled it, or with
 * "error: ..." on standard output; the tool ends at the end of its input. */
#include "fake-input-client-protocol.h"
#include "virtual-pointer-client-protocol.h"

#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

struct state {
    struct wl_seat* seat;
    struct zwlr_virtual_pointer_manager_v1* manager;
    struct org_kde_kwin_fake_input* fake;
};

static void global_added(void* data, struct wl_registry* registry, uint32_t name,
                         const char* interface, uint32_t version) {
    struct state* s = data;
    if (strcmp(interface, wl_seat_interface.name) == 0 && !s->seat)
        s->seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        s->manager =
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
    else if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 3)
        s->fake = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 3);
}

static void global_removed(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener registry_listener = {global_added, global_removed};

static uint32_t now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

static int answer(struct wl_display* display) {
    if (wl_display_roundtrip(display) < 0) {
        printf("error: the compositor went away\n");
        fflush(stdout);
        return 0;
    }
    printf("ok\n");
    fflush(stdout);
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s WIDTH HEIGHT\n", argv[0]);
        return 2;
    }
    const uint32_t width = (uint32_t)strtoul(argv[1], NULL, 10);
    const uint32_t height = (uint32_t)strtoul(argv[2], NULL, 10);
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "cannot connect to the Wayland display\n");
        return 1;
    }
    struct state s = {NULL, NULL, NULL};
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, &s);
    wl_display_roundtrip(display);
    if (!s.manager && !s.fake) {
        fprintf(stderr, "the compositor offers no virtual pointer\n");
        return 1;
    }
    struct zwlr_virtual_pointer_v1* pointer = NULL;
    if (s.manager)
        pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(s.manager, s.seat);
    else
        org_kde_kwin_fake_input_authenticate(s.fake, "wl-pointer-tool", "end-to-end tests");
    if (!answer(display)) return 1;

    char line[128];
    while (fgets(line, sizeof line, stdin)) {
        unsigned x = 0, y = 0;
        int dx = 0, dy = 0;
        if (sscanf(line, "move %u %u", &x, &y) == 2) {
            if (pointer)
                zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), x, y, width, height);
            else
                org_kde_kwin_fake_input_pointer_motion_absolute(s.fake, wl_fixed_from_int((int)x),
                                                                wl_fixed_from_int((int)y));
        } else if (sscanf(line, "by %d %d", &dx, &dy) == 2) {
            if (pointer)
                zwlr_virtual_pointer_v1_motion(pointer, now_ms(), wl_fixed_from_int(dx),
                                               wl_fixed_from_int(dy));
            else
                org_kde_kwin_fake_input_pointer_motion(s.fake, wl_fixed_from_int(dx),
                                                       wl_fixed_from_int(dy));
        } else if (strncmp(line, "down", 4) == 0 || strncmp(line, "up", 2) == 0) {
            const uint32_t pressed =
                line[0] == 'd' ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED;
            if (pointer)
                zwlr_virtual_pointer_v1_button(pointer, now_ms(), BTN_LEFT, pressed);
            else
                org_kde_kwin_fake_input_button(s.fake, BTN_LEFT, pressed);
        } else {
            printf("error: unknown command %s", line);
            fflush(stdout);
            continue;
        }
        if (pointer) zwlr_virtual_pointer_v1_frame(pointer);
        if (!answer(display)) return 1;
    }
    if (pointer) zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
