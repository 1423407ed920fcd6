/* A pointer for a headless wlroots compositor, which has none of its own:
 * a virtual pointer device driven by lines on standard input.
 *
 *   wl-pointer-tool WIDTH HEIGHT     (the output layout's extent in pixels)
 *   move X Y    absolute motion to X,Y of the layout
 *   down        left button press
 *   up          left button release
 *
 * Each line is answered with "ok" once the compositor has handled it, or with
 * "error: ..." on standard output; the tool ends at the end of its input. */
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
};

static void global_added(void* data, struct wl_registry* registry, uint32_t name,
                         const char* interface, uint32_t version) {
    struct state* s = data;
    (void)version;
    if (strcmp(interface, wl_seat_interface.name) == 0 && !s->seat)
        s->seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        s->manager =
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
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
    struct state s = {NULL, NULL};
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, &s);
    wl_display_roundtrip(display);
    if (!s.manager) {
        fprintf(stderr, "the compositor offers no virtual pointer\n");
        return 1;
    }
    struct zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(s.manager, s.seat);
    if (!answer(display)) return 1;

    char line[128];
    while (fgets(line, sizeof line, stdin)) {
        unsigned x = 0, y = 0;
        if (sscanf(line, "move %u %u", &x, &y) == 2) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), x, y, width, height);
        } else if (strncmp(line, "down", 4) == 0 || strncmp(line, "up", 2) == 0) {
            const uint32_t pressed =
                line[0] == 'd' ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED;
            zwlr_virtual_pointer_v1_button(pointer, now_ms(), BTN_LEFT, pressed);
        } else {
            printf("error: unknown command %s", line);
            fflush(stdout);
            continue;
        }
        zwlr_virtual_pointer_v1_frame(pointer);
        if (!answer(display)) return 1;
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
