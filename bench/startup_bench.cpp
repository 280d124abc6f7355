// Start-up of the viewer beside a bare Qt window: from starting each program to its window
// being mapped on the X server, medians of runs taken in turn.
//
//   startup_bench VIEWER BARE_WINDOW [RUNS]     (needs an X display: xvfb-run on a headless box)

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

// Starts `program` and returns the milliseconds until a top-level window is mapped, or a
// negative number when none came within ten seconds.
double timeToMapped(xcb_connection_t *connection, const char *program) {
    char *argv[] = {const_cast<char *>(program), nullptr};
    const auto start = Clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, program, nullptr, nullptr, argv, environ) != 0)
        return -1;
    double ms = -1;
    pollfd fd{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (ms < 0 && Clock::now() - start < std::chrono::seconds(10)) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && ms < 0)
                ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            std::free(event);
        }
        if (ms < 0)
            poll(&fd, 1, 100);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    // Let the window's unmapping pass before the next run starts.
    xcb_flush(connection);
    while (xcb_generic_event_t *event = xcb_poll_for_event(connection))
        std::free(event);
    return ms;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s VIEWER BARE_WINDOW [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 11;
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, it.data->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    std::vector<double> viewer, bare;
    for (int i = 0; i < runs; ++i) {
        bare.push_back(timeToMapped(connection, argv[2]));
        viewer.push_back(timeToMapped(connection, argv[1]));
    }
    const double v = median(viewer), b = median(bare);
    std::printf("Start-up, program started to window mapped, medians of %d runs each:\n", runs);
    std::printf("  %-70s %8.1f ms\n", "floor: a bare Qt window with one Cyrillic label", b);
    std::printf("  %-70s %8.1f ms  %.2f x the bare window, goal <= 1.1 x: %s\n",
                "the viewer's main window", v, v / b, v <= 1.1 * b ? "met" : "not met");
    xcb_disconnect(connection);
    return v > 0 && b > 0 ? 0 : 1;
}
