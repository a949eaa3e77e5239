// How often an idle note-like loop wakes: a window and event_wait(-1) in a
// loop, on a private X server, while a watcher thread counts the main
// thread's voluntary context switches and the waits that returned.
//
//     idle_wakeups [seconds=10] [--wm]
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "runtime/gadget/gadget_list.h"
#include "runtime/window/events.h"
#include "runtime/window/toolkit.h"
#include "runtime/window/windows.h"
#include "tests/support/xserver.h"

namespace {

std::atomic<long> waits_returned;

long voluntary_switches(pid_t thread) {
    std::ifstream status("/proc/self/task/" + std::to_string(thread) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::atol(line.c_str() + 24);
    return -1;
}

// Ending the process from here also ends the server: its parent thread dies.
void watch(pid_t main_thread, int seconds) {
    std::this_thread::sleep_for(std::chrono::seconds(1));  // let the window settle
    long switches = voluntary_switches(main_thread);
    long waits = waits_returned.load();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    switches = voluntary_switches(main_thread) - switches;
    waits = waits_returned.load() - waits;
    std::printf("idle %d s: %ld voluntary context switches (%.2f/s), %ld event_wait returns (%.2f/s)\n", seconds,
                switches, static_cast<double>(switches) / seconds, waits, static_cast<double>(waits) / seconds);
    std::fflush(stdout);
    _exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 10;
    bool window_manager = false;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--wm") == 0) {
            window_manager = true;
        } else {
            seconds = std::max(1, std::atoi(argv[i]));
        }
    }
    if (!xtest::start_display(window_manager)) {
        std::fprintf(stderr, "idle_wakeups: %s\n", xtest::last_error().c_str());
        return 1;
    }
    int toolkit_argc = 1;
    toolkit_start(&toolkit_argc, &argv);
    events_start();
    windows_start();
    gadget_context_start();
    if (!window_open(0, 100, 100, 300, 200, u"idle", WINDOW_NO_BORDER | WINDOW_TITLE_MENU)) return 1;
    std::thread(watch, getpid(), seconds).detach();
    for (;;) {
        event_wait(-1);
        waits_returned++;
    }
}
