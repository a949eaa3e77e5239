// Measures the note from outside, the way a user meets it, under one private
// X server with a window manager, and prints a small table:
//
//  - key-to-file latency: with a 1 KiB and a 1 MiB note, the time from
//    starting `xdotool key` for one letter to text.txt holding that letter,
//    over a run of keys (median and 90th percentile);
//  - footprint beside xpad and a bare toolkit window with a text view:
//    start-up from exec to the window being viewable (median of several
//    starts), resident memory 3 s after the map, and the voluntary context
//    switches of all threads while idle, focused, after a quiet spell.
//
//     note_measure [--quick]
//
// --quick shortens every phase for a smoke run. Each program runs in a
// folder of its own under a temporary folder; xpad gets a private home with
// one saved pad, so that it starts as it would on its second day.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dirent.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/xserver.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void sleep_until(Clock::time_point when) { std::this_thread::sleep_until(when); }

struct Plan {
    int starts = 10;     // start-up samples per program
    int keys = 50;       // keys per note size
    int quiet_s = 15;    // without input before counting wake-ups
    int idle_s = 30;     // wake-ups are counted over this
    int resident_s = 3;  // resident memory is read this long after the map
};

Plan quick_plan() { return Plan{3, 20, 2, 5, 3}; }

// ---- Files ------------------------------------------------------------------

bool write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out.flush());
}

bool make_folder(const std::string& path) { return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST; }

// About `bytes` of UTF-8 mixing ASCII, Latin-1, CJK, characters outside the
// Basic Multilingual Plane and line ends, cut at a character boundary.
std::string mixed_text(size_t bytes) {
    const char* line = "The quick brown fox jumps over 42 lazy dogs; \xC3\xBC" "ber L\xC3\xB6wen, "
                       "\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x81\xAE\xE5\xA4\x9C \xF0\x9F\xA6\x8A\xF0\x9F\x8E\x89 done.\n";
    std::string text;
    while (text.size() < bytes) text += line;
    size_t cut = bytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) cut--;
    text.resize(cut);
    return text;
}

void remove_tree(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        if (DIR* dir = opendir(path.c_str())) {
            while (dirent* entry = readdir(dir))
                if (std::strcmp(entry->d_name, ".") && std::strcmp(entry->d_name, ".."))
                    remove_tree(path + "/" + entry->d_name);
            closedir(dir);
        }
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

// ---- The programs measured --------------------------------------------------

struct Program {
    const char* name;
    bool rewrites_text;  // replaces text.txt in its folder on its first pass
    // Fills `folder` with what the program reads and says how to start it.
    std::function<bool(const std::string& folder, const std::string& text, std::vector<std::string>& argv,
                       xtest::SpawnOptions& options)>
        prepare;
};

bool prepare_papyro(const std::string& folder, const std::string& text, std::vector<std::string>& argv,
                    xtest::SpawnOptions&) {
    argv = {PAPYRO_BIN};
    return write_file(folder + "/papyro.ini", "100\n100\n300\n300\nSans\n10\n0\n0\n000000\n") &&
           write_file(folder + "/text.txt", text);
}

// What xpad writes on its first run, less the help it shows then: its
// default style, and one visible pad with its content.
constexpr char XPAD_STYLE[] =
    "decorations 0\nheight 300\nwidth 300\nconfirm_destroy 1\nedit_lock 0\nsticky_on_start 0\ntray_enabled 1\n"
    "tray_click_configuration 1\nback rgb(255,238,153)\nuse_back 1\ntext rgb(0,0,0)\nuse_text 1\n"
    "fontname Sans 9\ntoolbar 1\nauto_hide_toolbar 1\nscrollbar 1\n"
    "buttons New, Delete, Separator, Cut, Copy, Paste, Separator, Undo, Redo, Separator, Find\n"
    "autostart_wait_systray 1\nautostart_delay 0\nautostart_new_pad 0\nautostart_display_pads 2\n"
    "hide_from_taskbar 0\nhide_from_task_switcher 0\nline_numbering 0\n";
constexpr char XPAD_PAD[] =
    "width 300\nheight 300\nx 100\ny 100\nfollow_font 1\nfollow_color 1\nsticky 0\nhidden 0\n"
    "back rgb(238,238,236)\ntext rgb(0,0,0)\nfontname Sans 9\ncontent content-MEASURE\n";

bool prepare_xpad(const std::string& folder, const std::string& text, std::vector<std::string>& argv,
                  xtest::SpawnOptions& options) {
    std::string home = folder + "/home", config = home + "/.config", pads = config + "/xpad";
    std::string runtime = folder + "/run";
    for (const std::string& dir : {home, config, pads, home + "/.local", home + "/.local/share",
                                   home + "/.cache", runtime})
        if (!make_folder(dir)) return false;
    argv = {"xpad"};
    options.env = {"HOME=" + home, "XDG_CONFIG_HOME=" + config, "XDG_DATA_HOME=" + home + "/.local/share",
                   "XDG_CACHE_HOME=" + home + "/.cache", "XDG_RUNTIME_DIR=" + runtime};
    return write_file(pads + "/default-style", XPAD_STYLE) && write_file(pads + "/info-MEASURE", XPAD_PAD) &&
           write_file(pads + "/content-MEASURE", text);
}

bool prepare_bare(const std::string& folder, const std::string& text, std::vector<std::string>& argv,
                  xtest::SpawnOptions&) {
    argv = {BARE_GTK_NOTE_BIN};
    return write_file(folder + "/text.txt", text);
}

const Program PAPYRO{"papyro", true, prepare_papyro};
const Program XPAD{"xpad", false, prepare_xpad};
const Program BARE{"bare GTK+ 2", false, prepare_bare};

// ---- Seeing the map ---------------------------------------------------------

int ignore_x_errors(Display*, XErrorEvent*) { return 0; }

// Watches the root for new toplevels before a program starts, so that the
// moment its window becomes viewable is seen within about a millisecond.
class MapWatch {
public:
    MapWatch() : display_(XOpenDisplay(xtest::display_name().c_str())) {
        if (!display_) return;
        root_ = DefaultRootWindow(display_);
        pid_atom_ = XInternAtom(display_, "_NET_WM_PID", False);
        XSelectInput(display_, root_, SubstructureNotifyMask);
        XSync(display_, False);
    }
    ~MapWatch() {
        if (display_) XCloseDisplay(display_);
    }
    MapWatch(const MapWatch&) = delete;
    MapWatch& operator=(const MapWatch&) = delete;

    // The process's first viewable window, or 0 after timeout_ms.
    Window wait(pid_t pid, int timeout_ms) {
        if (!display_) return 0;
        auto start = Clock::now();
        while (ms_since(start) < timeout_ms) {
            take_events();
            if (Window window = viewable_window_of(pid)) return window;
            pollfd ready{ConnectionNumber(display_), POLLIN, 0};
            poll(&ready, 1, 1);
        }
        return 0;
    }

private:
    void take_events() {
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type != CreateNotify || event.xcreatewindow.override_redirect) continue;
            // Structure and property events on the window itself wake the
            // loop when it maps or gets its pid.
            XSelectInput(display_, event.xcreatewindow.window, StructureNotifyMask | PropertyChangeMask);
            candidates_.insert(event.xcreatewindow.window);
        }
    }

    // The pid on the window, 0 while it has none, -1 when the window is gone.
    long pid_of(Window window) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display_, window, pid_atom_, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                               &data) != Success)
            return -1;
        long pid = (data && count == 1 && format == 32) ? *reinterpret_cast<long*>(data) : 0;
        if (data) XFree(data);
        return pid;
    }

    Window viewable_window_of(pid_t pid) {
        for (auto it = candidates_.begin(); it != candidates_.end();) {
            long owner = pid_of(*it);
            XWindowAttributes attributes{};
            if (owner == pid && XGetWindowAttributes(display_, *it, &attributes) &&
                attributes.map_state == IsViewable)
                return *it;
            it = (owner != 0 && owner != pid) ? candidates_.erase(it) : std::next(it);
        }
        return 0;
    }

    Display* display_;
    Window root_ = 0;
    Atom pid_atom_ = None;
    std::set<Window> candidates_;
};

// ---- Running a program ------------------------------------------------------

// The moment text.txt is first replaced in a folder, taken by a thread of
// its own as the rename happens. The note maps its window before it builds
// the editor; its first pass, which rewrites text.txt, shows when the editor
// holds the text and the loop runs.
class FirstSave {
public:
    explicit FirstSave(const std::string& folder) : fd_(inotify_init1(IN_CLOEXEC)) {
        if (fd_ < 0 || inotify_add_watch(fd_, folder.c_str(), IN_MOVED_TO) < 0) return;
        thread_ = std::thread([this] { watch(); });
    }
    ~FirstSave() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) close(fd_);
    }
    FirstSave(const FirstSave&) = delete;
    FirstSave& operator=(const FirstSave&) = delete;

    bool wait(int timeout_ms) {
        auto start = Clock::now();
        while (!seen_ && ms_since(start) < timeout_ms) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return seen_;
    }
    double ms_after(Clock::time_point start) const {
        return std::chrono::duration<double, std::milli>(when_ - start).count();
    }

private:
    void watch() {
        alignas(inotify_event) char events[4096];
        while (!stop_ && !seen_) {
            pollfd ready{fd_, POLLIN, 0};
            if (poll(&ready, 1, 20) <= 0) continue;
            ssize_t length = read(fd_, events, sizeof events);
            for (ssize_t at = 0; at < length;) {
                auto* event = reinterpret_cast<inotify_event*>(events + at);
                if (event->len && std::strcmp(event->name, "text.txt") == 0 && !seen_) {
                    when_ = Clock::now();
                    seen_ = true;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

    int fd_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> seen_{false};
    Clock::time_point when_;  // written before seen_ is set
};

struct Run {
    std::unique_ptr<xtest::Process> process = std::make_unique<xtest::Process>();
    std::unique_ptr<FirstSave> first_save;
    Window window = 0;
    Clock::time_point started;
    double map_ms = 0;
    std::string folder;
};

std::string base_folder;
int folder_count = 0;

// Starts the program in a fresh folder and waits for its window; window 0
// when it did not appear.
Run launch(const Program& program, const std::string& text) {
    Run run;
    run.folder = base_folder + "/run" + std::to_string(++folder_count);
    std::vector<std::string> argv;
    xtest::SpawnOptions options;
    options.cwd = run.folder;
    options.output_path = run.folder + "/output.log";
    if (!make_folder(run.folder) || !program.prepare(run.folder, text, argv, options)) return run;
    run.first_save = std::make_unique<FirstSave>(run.folder);
    MapWatch watch;
    run.started = Clock::now();
    if (!run.process->start(argv, options)) return run;
    run.window = watch.wait(run.process->pid(), xtest::START_TIMEOUT_MS);
    run.map_ms = ms_since(run.started);
    return run;
}

void finish(Run& run) {
    if (run.process->signal(SIGTERM)) run.process->wait_exit(5000);
    run.process.reset();  // kills it if it is still there
    run.first_save.reset();
    remove_tree(run.folder);
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double percentile_90(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    size_t rank = (values.size() * 9 + 9) / 10;  // the nearest rank, ceil(0.9 n)
    return values[rank - 1];
}

// ---- /proc ------------------------------------------------------------------

long status_field(const std::string& path, const char* field) {
    std::ifstream status(path);
    size_t length = std::strlen(field);
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, length, field) == 0 && line[length] == ':') return std::atol(line.c_str() + length + 1);
    return -1;
}

long resident_kib(pid_t pid) { return status_field("/proc/" + std::to_string(pid) + "/status", "VmRSS"); }

// Voluntary context switches summed over all threads: each is a sleep that
// ended, so an idle program adds none.
long voluntary_switches(pid_t pid, int* threads) {
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (!dir) return -1;
    long sum = 0;
    *threads = 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        long switches = status_field(tasks + "/" + entry->d_name + "/status", "voluntary_ctxt_switches");
        if (switches >= 0) {
            sum += switches;
            ++*threads;
        }
    }
    closedir(dir);
    return sum;
}

// ---- Key-to-file latency ----------------------------------------------------

// Wakes on every rename or write in the note's folder, and at least every
// 0.2 ms, until `done` holds or timeout_ms has passed.
class FolderWatch {
public:
    explicit FolderWatch(const std::string& folder) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0) inotify_add_watch(fd_, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE);
    }
    ~FolderWatch() {
        if (fd_ >= 0) close(fd_);
    }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    bool wait(const std::function<bool()>& done, int timeout_ms) {
        auto start = Clock::now();
        const timespec step{0, 200000};
        while (ms_since(start) < timeout_ms) {
            if (done()) return true;
            pollfd ready{fd_, POLLIN, 0};
            if (ppoll(&ready, 1, &step, nullptr) > 0) {
                char events[4096];
                while (read(fd_, events, sizeof events) > 0) {
                }
            }
        }
        return done();
    }

private:
    int fd_;
};

// Whether the file is `size` bytes long and begins or ends with `typed`: the
// letters go in at the cursor, which the editor leaves at one end.
bool holds_typed(const std::string& path, off_t size, const std::string& typed) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || st.st_size != size) return false;
    std::ifstream in(path, std::ios::binary);
    std::string head(typed.size(), '\0'), tail(typed.size(), '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    in.seekg(size - static_cast<off_t>(typed.size()));
    in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    return in && (head == typed || tail == typed);
}

struct Latency {
    std::vector<double> to_file_ms;
    std::vector<double> xdotool_ms;  // how long `xdotool key` itself ran
    std::string failure;
};

Latency measure_latency(size_t note_bytes, const Plan& plan) {
    Latency result;
    std::string text = mixed_text(note_bytes);
    Run run = launch(PAPYRO, text);
    std::string path = run.folder + "/text.txt";
    FolderWatch watch(run.folder);
    // The first pass rewrites the unchanged note, which replaces the file.
    if (!run.window || !xtest::focus_window(run.window) || !run.first_save->wait(xtest::START_TIMEOUT_MS)) {
        result.failure = "the note did not start, take the focus, or rewrite its text";
        finish(run);
        return result;
    }
    std::string typed;
    for (int k = 0; k < plan.keys; k++) {
        std::string letter(1, static_cast<char>('a' + k % 26));
        typed += letter;
        off_t size = static_cast<off_t>(text.size() + typed.size());
        xtest::Process key;
        auto start = Clock::now();
        double key_ms = -1;
        if (!key.start({"xdotool", "key", letter})) break;
        bool saved = watch.wait(
            [&] {
                if (key_ms < 0 && !key.running()) key_ms = ms_since(start);
                return holds_typed(path, size, typed);
            },
            3000);
        if (!saved) {
            result.failure = "key " + std::to_string(k + 1) + " did not reach text.txt within 3 s";
            break;
        }
        result.to_file_ms.push_back(ms_since(start));
        while (key_ms < 0 && ms_since(start) < 3000) {
            if (!key.running()) key_ms = ms_since(start);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        result.xdotool_ms.push_back(key_ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the loop settle in its wait
    }
    finish(run);
    return result;
}

// ---- Footprint --------------------------------------------------------------

struct Footprint {
    std::vector<double> start_ms;
    std::vector<double> ready_ms;  // to the first save of the note
    long resident = -1;            // KiB
    long wakeups = -1;             // over the idle window, -1 when not measured
    int threads = 0;
    std::string failure;
};

void measure_starts(const std::vector<const Program*>& programs, std::vector<Footprint>& prints,
                    const std::string& text, const Plan& plan) {
    // Interleaved, so that a slow spell of the machine hits all alike.
    for (int round = 0; round < plan.starts; round++)
        for (size_t p = 0; p < programs.size(); p++) {
            Run run = launch(*programs[p], text);
            if (run.window)
                prints[p].start_ms.push_back(run.map_ms);
            else
                prints[p].failure = "no window within " + std::to_string(xtest::START_TIMEOUT_MS) + " ms";
            if (run.window && programs[p]->rewrites_text && run.first_save->wait(xtest::START_TIMEOUT_MS))
                prints[p].ready_ms.push_back(run.first_save->ms_after(run.started));
            finish(run);
        }
}

void measure_resident_and_idle(const Program& program, Footprint& print, const std::string& text,
                               const Plan& plan, bool count_wakeups) {
    Run run = launch(program, text);
    auto mapped = Clock::now();
    if (!run.window || !xtest::focus_window(run.window)) {
        print.failure = "no window, or it did not take the focus";
        finish(run);
        return;
    }
    auto last_input = Clock::now();
    pid_t pid = run.process->pid();
    sleep_until(mapped + std::chrono::seconds(plan.resident_s));
    print.resident = resident_kib(pid);
    if (count_wakeups) {
        sleep_until(last_input + std::chrono::seconds(plan.quiet_s));
        long before = voluntary_switches(pid, &print.threads);
        std::this_thread::sleep_for(std::chrono::seconds(plan.idle_s));
        long after = voluntary_switches(pid, &print.threads);
        if (before >= 0 && after >= 0) print.wakeups = after - before;
    }
    finish(run);
}

// ---- Report -----------------------------------------------------------------

void print_latency(const char* label, const Latency& latency) {
    if (!latency.failure.empty()) std::printf("  %-8s  failed: %s\n", label, latency.failure.c_str());
    if (latency.to_file_ms.empty()) return;
    std::printf("  %-8s  %4zu keys   median %7.2f ms   p90 %7.2f ms   (xdotool itself: median %.2f ms)\n", label,
                latency.to_file_ms.size(), median(latency.to_file_ms), percentile_90(latency.to_file_ms),
                median(latency.xdotool_ms));
}

std::string cell_ms(const std::vector<double>& times) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", median(times));
    return times.empty() ? "-" : text;
}

std::string cell_mib(const Footprint& f) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(f.resident) / 1024.0);
    return f.resident < 0 ? "-" : text;
}

std::string cell_wakeups(const Footprint& f, const Plan& plan) {
    char text[48];
    std::snprintf(text, sizeof text, "%ld (%.2f/s)", f.wakeups, static_cast<double>(f.wakeups) / plan.idle_s);
    return f.wakeups < 0 ? "-" : text;
}

void print_footprint(const std::vector<const Program*>& programs, const std::vector<Footprint>& prints,
                     const Plan& plan) {
    std::printf("\nfootprint, 1 KiB note (same server, same window manager)\n");
    std::printf("  %-34s", "");
    for (const Program* program : programs) std::printf("%18s", program->name);
    std::printf("\n");
    auto row = [&](const std::string& label, const std::function<std::string(const Footprint&)>& cell) {
        std::printf("  %-34s", label.c_str());
        for (const Footprint& f : prints) std::printf("%18s", cell(f).c_str());
        std::printf("\n");
    };
    row("start-up, exec to viewable (med " + std::to_string(plan.starts) + ")",
        [](const Footprint& f) { return cell_ms(f.start_ms); });
    row("exec to the first save (median)", [](const Footprint& f) { return cell_ms(f.ready_ms); });
    row("resident " + std::to_string(plan.resident_s) + " s after the map", cell_mib);
    row("idle wake-ups over " + std::to_string(plan.idle_s) + " s", [&](const Footprint& f) {
        return cell_wakeups(f, plan);
    });
    row("threads", [](const Footprint& f) { return f.threads ? std::to_string(f.threads) : std::string("-"); });
    for (size_t p = 0; p < programs.size(); p++)
        if (!prints[p].failure.empty()) std::printf("  %s: %s\n", programs[p]->name, prints[p].failure.c_str());
}

void print_goals(const Footprint& note, const Footprint& bare) {
    double ratio = median(bare.start_ms) > 0 ? median(note.start_ms) / median(bare.start_ms) : 0;
    std::printf("\ngoals\n");
    std::printf("  start-up within 1.3 x the bare window: %.2f x   %s\n", ratio, ratio <= 1.3 ? "met" : "NOT met");
    std::printf("  resident below 20 MiB: %.1f MiB   %s\n", static_cast<double>(note.resident) / 1024.0,
                note.resident >= 0 && note.resident < 20 * 1024 ? "met" : "NOT met");
    std::printf("  no wake-up while idle: %ld   %s\n", note.wakeups, note.wakeups == 0 ? "met" : "NOT met");
}

}  // namespace

int main(int argc, char** argv) {
    Plan plan;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            plan = quick_plan();
        } else {
            std::fprintf(stderr, "usage: note_measure [--quick]\n");
            return 2;
        }
    }
    XSetErrorHandler(ignore_x_errors);  // windows may vanish while they are looked at
    if (!xtest::start_display(true)) {
        std::fprintf(stderr, "note_measure: %s\n", xtest::last_error().c_str());
        return 1;
    }
    const char* tmp = std::getenv("TMPDIR");
    base_folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/papyro-measure-XXXXXX";
    if (!mkdtemp(base_folder.data())) return 1;
    setvbuf(stdout, nullptr, _IOLBF, 0);

    std::printf("key-to-file latency (start of `xdotool key` to text.txt holding the letter)\n");
    print_latency("1 KiB", measure_latency(1 << 10, plan));
    print_latency("1 MiB", measure_latency(1 << 20, plan));

    const std::vector<const Program*> programs{&PAPYRO, &XPAD, &BARE};
    std::vector<Footprint> prints(programs.size());
    std::string text = mixed_text(1 << 10);
    measure_starts(programs, prints, text, plan);
    measure_resident_and_idle(PAPYRO, prints[0], text, plan, true);
    measure_resident_and_idle(XPAD, prints[1], text, plan, true);
    measure_resident_and_idle(BARE, prints[2], text, plan, false);
    print_footprint(programs, prints, plan);
    print_goals(prints[0], prints[2]);

    remove_tree(base_folder);
    xtest::stop_display();
    return 0;
}
