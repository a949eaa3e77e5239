// The project's headless X harness: a private X server (and, on request, a
// window manager) for tests, and the tools to look at and drive windows from
// outside, the way a window manager and a user see them.
//
// Two kinds of tests use it:
//
//  - In-process toolkit tests: start_display() (usually through the gtest
//    environment in xtest.h) sets DISPLAY, LANG=C.UTF-8 and drops GTK_MODULES
//    for this process, so the toolkit initialised afterwards talks to the
//    private server. While waiting for something that needs the toolkit to
//    run (an event, a typed key reaching a buffer), pass a `pump` callback
//    that iterates the toolkit; every waiting call here takes one.
//
//  - End-to-end tests: Process starts a built program with its own working
//    folder and the cleaned environment (plus DISPLAY), then find_window()
//    finds its visible toplevel by pid, the property and geometry readers
//    check it, type_text()/press_keys() drive it after wait_for_focus(), and
//    send_delete_request()/wm_close()/Process::signal() end it.
//
// Nothing sleeps for a fixed time: every wait polls a condition with a
// timeout. Children die with the test binary (PR_SET_PDEATHSIG). Every call
// runs on the caller's thread; none is thread-safe.
#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

typedef struct _XDisplay Display;

namespace xtest {

using XWindow = unsigned long;
using Pump = std::function<void()>;

constexpr int START_TIMEOUT_MS = 10000;  // server, window manager, first map
constexpr int FOCUS_TIMEOUT_MS = 5000;
constexpr int COMMAND_TIMEOUT_MS = 10000;

// ---- The server -------------------------------------------------------------

// Starts Xvfb on a free display (1024x768x24) and, when asked, openbox, and
// waits until both are ready. Points this process's DISPLAY at the server.
// False on failure, with the reason in last_error(). Calling it again while
// a display runs does nothing and returns true.
bool start_display(bool window_manager);
// Ends the window manager, then the server. Safe to call at any time.
void stop_display();
// ":N" while a display runs, else empty.
const std::string& display_name();
bool has_window_manager();
const std::string& last_error();

// The harness's own Xlib connection to the private server (opened on first
// use), separate from the toolkit's.
Display* x_display();

// Installs, for its lifetime, an Xlib error handler that counts errors on the
// harness connection instead of exiting (the default handler exits on a
// BadWindow from a window that has just gone away). Errors on any other
// connection still go to the handler that was there before.
class XErrorTrap {
public:
    XErrorTrap();
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;
    // Errors seen so far (pending requests are synced first).
    int errors();

private:
    void (*previous_)();  // the Xlib handler this trap replaced
    int errors_at_start_;
};

// ---- Processes --------------------------------------------------------------

// The environment children get: this process's environment without DISPLAY,
// GTK_MODULES, LANG and LC_*, plus LANG=C.UTF-8 and the private DISPLAY;
// then each "KEY=VALUE" of `extra` replaces or adds a variable.
std::vector<std::string> child_environment(const std::vector<std::string>& extra = {});

struct CommandResult {
    int status = -1;  // exit code, 128 + signal number, or -1 when it could not run or timed out
    bool timed_out = false;
    std::string out;
    std::string err;
};

// Runs argv[0] (searched in PATH) with the child environment, captures both
// outputs, and kills it after timeout_ms. `pump` runs every few milliseconds
// while waiting.
CommandResult run_command(const std::vector<std::string>& argv, int timeout_ms = COMMAND_TIMEOUT_MS,
                          const Pump& pump = {});

struct SpawnOptions {
    std::string cwd;                 // empty: the current folder
    std::vector<std::string> env;    // "KEY=VALUE" on top of child_environment()
    std::string output_path;         // stdout and stderr; empty: /dev/null
};

// A started program. The destructor kills (SIGKILL) and reaps it if it still
// runs, so a failing test leaves nothing behind.
class Process {
public:
    Process() = default;
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool start(const std::vector<std::string>& argv, const SpawnOptions& options = {});
    pid_t pid() const { return pid_; }
    bool running();
    bool signal(int signal_number);
    // Exit code, or 128 + signal number; nullopt when it still runs after
    // timeout_ms (it is left running).
    std::optional<int> wait_exit(int timeout_ms, const Pump& pump = {});

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// ---- Waiting ----------------------------------------------------------------

// Polls `condition` every 5 ms, running `pump` between polls, until it holds
// (true) or timeout_ms has passed (false). The condition is tried once more
// at the end.
bool wait_until(const std::function<bool()>& condition, int timeout_ms, const Pump& pump = {});

// ---- Windows from outside ---------------------------------------------------

// The first visible window of the process, or 0 after timeout_ms.
XWindow find_window(pid_t pid, int timeout_ms = START_TIMEOUT_MS, const Pump& pump = {});
// xprop's text for the property after " = ", e.g. "0x3, 0x24, 0x0, 0x0, 0x0",
// or its indented lines for multi-line values (WM_NORMAL_HINTS); empty when
// the property is not set.
std::string window_property(XWindow window, const std::string& property);
// The numbers of a property that holds a list of integers (hex or decimal).
std::vector<long> window_property_numbers(XWindow window, const std::string& property);

struct Geometry {
    int x, y, width, height;  // the client window relative to the root
};
std::optional<Geometry> window_geometry(XWindow window);
// Whether the window is mapped and all its ancestors are.
bool window_viewable(XWindow window);
// The _NET_WM_STATE atoms of the window, e.g. "_NET_WM_STATE_ABOVE".
std::vector<std::string> window_states(XWindow window);

// True once the keyboard focus is on the window or one of its descendants.
bool wait_for_focus(XWindow window, int timeout_ms = FOCUS_TIMEOUT_MS, const Pump& pump = {});
// Asks for the focus (through the window manager when there is one) and
// waits for it.
bool focus_window(XWindow window, int timeout_ms = FOCUS_TIMEOUT_MS, const Pump& pump = {});

// ---- Input ------------------------------------------------------------------

// Types UTF-8 text into the focused window. Every character outside ASCII is
// first bound to a spare keycode of its own, so the toolkit never translates
// a key whose mapping is changing under it. '\n' is sent as Return.
bool type_text(const std::string& utf8, const Pump& pump = {});
// Presses key names as xdotool knows them ("Return", "ctrl+a").
bool press_keys(const std::string& keys, const Pump& pump = {});

// ---- Closing ----------------------------------------------------------------

// Sends WM_PROTOCOLS/WM_DELETE_WINDOW straight to the window: a close request
// that needs no window manager.
bool send_delete_request(XWindow window);
// Asks the window manager to close the window (wmctrl -i -c).
bool wm_close(XWindow window, const Pump& pump = {});

}  // namespace xtest
