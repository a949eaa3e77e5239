// The headless X harness: Xvfb and openbox as children of the test binary,
// commands run with a cleaned environment, and Xlib or X tool look-ups of
// windows.
#include "tests/support/xserver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

extern char** environ;

namespace xtest {
namespace {

using Clock = std::chrono::steady_clock;

struct Server {
    pid_t xvfb = -1;
    pid_t wm = -1;
    std::string display;
    std::string log_dir;
    Display* connection = nullptr;
    std::map<unsigned long, int> bound_keysyms;  // keysym -> keycode bound by type_text
};

Server server;
std::string error_text;

int elapsed_ms(Clock::time_point start) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

bool fail(const std::string& why) {
    error_text = why;
    return false;
}

std::string find_in_path(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return name;
}

std::vector<char*> c_strings(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// What the child does between fork and exec: only async-signal-safe calls,
// since the parent may run toolkit threads.
struct ChildSetup {
    int stdout_fd = -1;
    int stderr_fd = -1;
    int pass_fd = -1;  // becomes fd 3 (Xvfb's -displayfd)
    const char* cwd = nullptr;
};

pid_t spawn(std::vector<std::string> argv, std::vector<std::string> env, const ChildSetup& setup) {
    std::string path = find_in_path(argv[0]);
    std::vector<char*> c_argv = c_strings(argv);
    std::vector<char*> c_env = c_strings(env);
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    setpgid(0, 0);  // keeps terminal signals aimed at the test away from children
    int null_fd = open("/dev/null", O_RDWR);
    dup2(null_fd, 0);
    dup2(setup.stdout_fd >= 0 ? setup.stdout_fd : null_fd, 1);
    dup2(setup.stderr_fd >= 0 ? setup.stderr_fd : null_fd, 2);
    if (setup.pass_fd >= 0) dup2(setup.pass_fd, 3);
    if (setup.cwd && chdir(setup.cwd) != 0) _exit(127);
    execve(path.c_str(), c_argv.data(), c_env.data());
    _exit(127);
}

int decode_status(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Ends a child: SIGTERM, then SIGKILL if it is still there after a while.
void end_child(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    auto start = Clock::now();
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (elapsed_ms(start) > 3000) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        usleep(2000);
    }
    pid = -1;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool is_locale_variable(const std::string& entry) {
    static const char* const dropped[] = {"DISPLAY=", "GTK_MODULES=", "LANG=", "LC_", "LANGUAGE="};
    for (const char* prefix : dropped)
        if (entry.rfind(prefix, 0) == 0) return true;
    return false;
}

// The test process itself gets the same locale and display as its children,
// so the toolkit it starts prints nothing and connects to the private server.
void set_own_environment() {
    std::vector<std::string> names;
    for (char** e = environ; *e; e++) {
        std::string entry(*e);
        if (entry.rfind("LC_", 0) == 0) names.push_back(entry.substr(0, entry.find('=')));
    }
    for (const auto& name : names) unsetenv(name.c_str());
    unsetenv("GTK_MODULES");
    unsetenv("LANGUAGE");
    setenv("LANG", "C.UTF-8", 1);
    setenv("DISPLAY", server.display.c_str(), 1);
}

bool start_xvfb() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return fail("pipe failed");
    std::string log = server.log_dir + "/xvfb.log";
    int log_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ChildSetup setup;
    setup.stderr_fd = setup.stdout_fd = log_fd;
    setup.pass_fd = fds[1];
    server.xvfb = spawn({"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"},
                        child_environment(), setup);
    close(fds[1]);
    if (log_fd >= 0) close(log_fd);
    // Xvfb writes the display number once it accepts connections.
    std::string number;
    auto start = Clock::now();
    while (number.find('\n') == std::string::npos && elapsed_ms(start) < START_TIMEOUT_MS) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, START_TIMEOUT_MS - elapsed_ms(start)) <= 0) continue;
        char buffer[32];
        ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        end_child(server.xvfb);
        return fail("Xvfb did not report a display: " + read_file(log));
    }
    server.display = ":";
    server.display.append(number, 0, number.find('\n'));
    return true;
}

// A window manager that has announced itself may still drop map requests
// made during its start-up, leaving a window unmapped for good. It is ready
// once it has framed a probe window; a probe it missed is made again.
bool manages_windows() {
    Display* d = x_display();
    if (!d) return false;
    XErrorTrap trap;
    Window root = DefaultRootWindow(d);
    for (int attempt = 0; attempt < 10; attempt++) {
        Window probe = XCreateSimpleWindow(d, root, 0, 0, 10, 10, 0, 0, 0);
        XMapWindow(d, probe);
        XSync(d, False);
        bool framed = wait_until(
            [&] {
                Window r = 0, parent = 0, *children = nullptr;
                unsigned int count = 0;
                if (!XQueryTree(d, probe, &r, &parent, &children, &count)) return false;
                if (children) XFree(children);
                return parent != root;
            },
            200);
        XDestroyWindow(d, probe);
        XSync(d, False);
        if (framed) return true;
    }
    return false;
}

bool start_openbox() {
    std::string log = server.log_dir + "/openbox.log";
    int log_fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ChildSetup setup;
    setup.stderr_fd = setup.stdout_fd = log_fd;
    server.wm = spawn({"openbox", "--sm-disable"}, child_environment(), setup);
    if (log_fd >= 0) close(log_fd);
    bool ready = wait_until([] { return run_command({"wmctrl", "-m"}, 2000).status == 0; }, START_TIMEOUT_MS) &&
                 manages_windows();
    if (!ready) {
        end_child(server.wm);
        return fail("openbox did not become ready: " + read_file(log));
    }
    return true;
}

void remove_log_dir() {
    if (server.log_dir.empty()) return;
    for (const char* name : {"/xvfb.log", "/openbox.log"}) unlink((server.log_dir + name).c_str());
    rmdir(server.log_dir.c_str());
    server.log_dir.clear();
}

int (*previous_handler)(Display*, XErrorEvent*) = nullptr;
int trapped_errors = 0;

int trap_handler(Display* display, XErrorEvent* event) {
    if (display == server.connection) {
        trapped_errors++;
        return 0;
    }
    return previous_handler ? previous_handler(display, event) : 0;
}

Atom atom(const char* name) { return XInternAtom(x_display(), name, False); }

}  // namespace

bool start_display(bool window_manager) {
    if (!server.display.empty()) return true;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/papyro-x-XXXXXX";
    if (!mkdtemp(pattern.data())) return fail("cannot make a folder for the server logs");
    server.log_dir = pattern;
    if (!start_xvfb()) {
        remove_log_dir();
        return false;
    }
    set_own_environment();
    if (window_manager && !start_openbox()) {
        stop_display();
        return false;
    }
    return true;
}

void stop_display() {
    if (server.connection) {
        XCloseDisplay(server.connection);
        server.connection = nullptr;
    }
    end_child(server.wm);
    end_child(server.xvfb);
    server.display.clear();
    server.bound_keysyms.clear();
    remove_log_dir();
}

const std::string& display_name() { return server.display; }
bool has_window_manager() { return server.wm > 0; }
const std::string& last_error() { return error_text; }

Display* x_display() {
    if (!server.connection && !server.display.empty()) server.connection = XOpenDisplay(server.display.c_str());
    return server.connection;
}

XErrorTrap::XErrorTrap() : errors_at_start_(trapped_errors) {
    auto* old = XSetErrorHandler(trap_handler);
    previous_ = reinterpret_cast<void (*)()>(old);
    if (old != trap_handler) previous_handler = old;
}

XErrorTrap::~XErrorTrap() {
    if (Display* d = x_display()) XSync(d, False);
    XSetErrorHandler(reinterpret_cast<int (*)(Display*, XErrorEvent*)>(previous_));
}

int XErrorTrap::errors() {
    if (Display* d = x_display()) XSync(d, False);
    return trapped_errors - errors_at_start_;
}

std::vector<std::string> child_environment(const std::vector<std::string>& extra) {
    std::vector<std::string> env;
    for (char** e = environ; *e; e++)
        if (!is_locale_variable(*e)) env.emplace_back(*e);
    env.emplace_back("LANG=C.UTF-8");
    if (!server.display.empty()) env.push_back("DISPLAY=" + server.display);
    for (const auto& entry : extra) {
        std::string key = entry.substr(0, entry.find('=') + 1);
        std::erase_if(env, [&](const std::string& e) { return e.rfind(key, 0) == 0; });
        env.push_back(entry);
    }
    return env;
}

CommandResult run_command(const std::vector<std::string>& argv, int timeout_ms, const Pump& pump) {
    CommandResult result;
    int out_pipe[2], err_pipe[2];
    if (argv.empty() || pipe2(out_pipe, O_CLOEXEC) != 0) return result;
    if (pipe2(err_pipe, O_CLOEXEC) != 0) {
        close(out_pipe[0]);
        close(out_pipe[1]);
        return result;
    }
    ChildSetup setup;
    setup.stdout_fd = out_pipe[1];
    setup.stderr_fd = err_pipe[1];
    pid_t pid = spawn(argv, child_environment(), setup);
    close(out_pipe[1]);
    close(err_pipe[1]);
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_pipes = 2;
    auto start = Clock::now();
    while (open_pipes > 0 && pid > 0) {
        int left = timeout_ms - elapsed_ms(start);
        if (left <= 0) {
            result.timed_out = true;
            break;
        }
        if (poll(fds, 2, pump ? std::min(left, 5) : left) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                open_pipes--;
            }
        }
        if (pump) pump();
    }
    for (auto& p : fds)
        if (p.fd >= 0) close(p.fd);
    if (pid <= 0) return result;
    int status = 0;
    if (result.timed_out) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return result;
    }
    // Both pipes are closed: the child is exiting, or it handed them on.
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (elapsed_ms(start) > timeout_ms) {
            result.timed_out = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return result;
        }
        if (pump) pump();
        usleep(1000);
    }
    result.status = decode_status(status);
    return result;
}

Process::~Process() {
    if (pid_ > 0 && !status_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool Process::start(const std::vector<std::string>& argv, const SpawnOptions& options) {
    if (pid_ > 0 || argv.empty()) return false;
    int out_fd = -1;
    if (!options.output_path.empty()) {
        out_fd = open(options.output_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (out_fd < 0) return false;
    }
    ChildSetup setup;
    setup.stdout_fd = setup.stderr_fd = out_fd;
    setup.cwd = options.cwd.empty() ? nullptr : options.cwd.c_str();
    pid_ = spawn(argv, child_environment(options.env), setup);
    if (out_fd >= 0) close(out_fd);
    return pid_ > 0;
}

bool Process::running() {
    if (pid_ <= 0 || status_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = decode_status(status);
        return false;
    }
    return true;
}

bool Process::signal(int signal_number) { return running() && kill(pid_, signal_number) == 0; }

std::optional<int> Process::wait_exit(int timeout_ms, const Pump& pump) {
    wait_until([this] { return !running(); }, timeout_ms, pump);
    return status_;
}

bool wait_until(const std::function<bool()>& condition, int timeout_ms, const Pump& pump) {
    auto start = Clock::now();
    while (elapsed_ms(start) < timeout_ms) {
        if (condition()) return true;
        if (pump) pump();
        usleep(5000);
    }
    return condition();
}

XWindow find_window(pid_t pid, int timeout_ms, const Pump& pump) {
    XWindow found = 0;
    wait_until(
        [&] {
            CommandResult r = run_command({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)}, 2000, pump);
            if (r.status == 0) found = std::strtoul(r.out.c_str(), nullptr, 10);
            return found != 0;
        },
        timeout_ms, pump);
    return found;
}

std::string window_property(XWindow window, const std::string& property) {
    CommandResult r = run_command({"xprop", "-id", std::to_string(window), property});
    const std::string& text = r.out;
    if (r.status != 0 || text.find("not found.") != std::string::npos || text.find("no such atom") != std::string::npos)
        return "";
    size_t at = text.find(" = ");
    size_t skip = 3;
    if (at == std::string::npos) {
        at = text.find(":\n");  // multi-line values such as WM_NORMAL_HINTS
        skip = 2;
    }
    if (at == std::string::npos) return "";
    std::string value = text.substr(at + skip);
    while (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
}

std::vector<long> window_property_numbers(XWindow window, const std::string& property) {
    std::vector<long> numbers;
    std::stringstream items(window_property(window, property));
    for (std::string item; std::getline(items, item, ',');) {
        char* end = nullptr;
        long value = std::strtol(item.c_str(), &end, 0);
        if (end != item.c_str()) numbers.push_back(value);
    }
    return numbers;
}

std::optional<Geometry> window_geometry(XWindow window) {
    CommandResult r = run_command({"xdotool", "getwindowgeometry", "--shell", std::to_string(window)});
    if (r.status != 0) return std::nullopt;
    std::map<std::string, int> values;
    std::stringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
    }
    if (!values.count("WIDTH")) return std::nullopt;
    return Geometry{values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
}

bool window_viewable(XWindow window) {
    Display* d = x_display();
    if (!d) return false;
    XErrorTrap trap;
    XWindowAttributes attributes{};
    return XGetWindowAttributes(d, window, &attributes) && attributes.map_state == IsViewable;
}

std::vector<std::string> window_states(XWindow window) {
    std::vector<std::string> states;
    std::stringstream items(window_property(window, "_NET_WM_STATE"));
    for (std::string item; std::getline(items, item, ',');) {
        item.erase(0, item.find_first_not_of(' '));
        if (!item.empty()) states.push_back(item);
    }
    return states;
}

bool wait_for_focus(XWindow window, int timeout_ms, const Pump& pump) {
    Display* d = x_display();
    if (!d) return false;
    XErrorTrap trap;
    // The toolkit often focuses a hidden child of its toplevel: walk up.
    auto focused = [&] {
        Window focus = 0;
        int revert = 0;
        XGetInputFocus(d, &focus, &revert);
        Window root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        while (focus > PointerRoot && focus != window) {
            if (!XQueryTree(d, focus, &root, &parent, &children, &count)) return false;
            if (children) XFree(children);
            if (parent == root) return false;
            focus = parent;
        }
        return focus == window;
    };
    return wait_until(focused, timeout_ms, pump);
}

bool focus_window(XWindow window, int timeout_ms, const Pump& pump) {
    const char* how = has_window_manager() ? "windowactivate" : "windowfocus";
    run_command({"xdotool", how, std::to_string(window)}, timeout_ms, pump);
    return wait_for_focus(window, timeout_ms, pump);
}

namespace {

// Each character gets a keycode of its own for good; rebinding one keycode
// per character races with the toolkit's key translation.
bool bind_characters(const std::u32string& text) {
    Display* d = x_display();
    if (!d) return false;
    XErrorTrap trap;
    int low = 0, high = 0, per = 0;
    XDisplayKeycodes(d, &low, &high);
    bool changed = false;
    for (char32_t c : text) {
        if (c < 0x80) continue;
        unsigned long keysym = c <= 0xff ? c : 0x01000000ul | c;
        if (server.bound_keysyms.count(keysym) || XKeysymToKeycode(d, keysym)) continue;
        KeySym* map = XGetKeyboardMapping(d, static_cast<KeyCode>(low), high - low + 1, &per);
        int spare = 0;
        // From the top down: xdotool keeps the lowest free keycode as its own scratch.
        for (int code = high; code > low && !spare; code--) {
            bool empty = true;
            for (int i = 0; i < per; i++) empty = empty && map[(code - low) * per + i] == NoSymbol;
            if (empty) spare = code;
        }
        XFree(map);
        if (!spare) return false;
        std::vector<KeySym> syms(static_cast<size_t>(per), keysym);
        XChangeKeyboardMapping(d, spare, per, syms.data(), 1);
        XSync(d, False);
        server.bound_keysyms[keysym] = spare;
        changed = true;
    }
    if (changed) XSync(d, False);
    return trap.errors() == 0;
}

std::u32string decode_utf8(const std::string& s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        auto byte = static_cast<unsigned char>(s[i]);
        int extra = byte < 0x80 ? 0 : byte < 0xe0 ? 1 : byte < 0xf0 ? 2 : 3;
        char32_t c = extra == 0 ? byte : byte & (0x3f >> extra);
        for (int k = 1; k <= extra && i + static_cast<size_t>(k) < s.size(); k++)
            c = (c << 6) | (static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0x3f);
        out.push_back(c);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

}  // namespace

bool type_text(const std::string& utf8, const Pump& pump) {
    if (!bind_characters(decode_utf8(utf8))) return false;
    std::string text = utf8;
    for (char& c : text)
        if (c == '\n') c = '\r';  // a typed '\n' is Linefeed, which text views ignore
    return run_command({"xdotool", "type", "--delay", "15", "--", text}, COMMAND_TIMEOUT_MS, pump).status == 0;
}

bool press_keys(const std::string& keys, const Pump& pump) {
    return run_command({"xdotool", "key", "--delay", "15", keys}, COMMAND_TIMEOUT_MS, pump).status == 0;
}

bool send_delete_request(XWindow window) {
    Display* d = x_display();
    if (!d) return false;
    XErrorTrap trap;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom("WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(atom("WM_DELETE_WINDOW"));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &event);
    return trap.errors() == 0;
}

bool wm_close(XWindow window, const Pump& pump) {
    return run_command({"wmctrl", "-i", "-c", std::to_string(window)}, COMMAND_TIMEOUT_MS, pump).status == 0;
}

}  // namespace xtest
