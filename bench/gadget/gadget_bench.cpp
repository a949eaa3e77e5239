// Reading an editor's whole text as 16-bit units, the cost the note pays
// after every event, against the toolkit's own extraction followed by
// GLib's converter on the same buffer.
//
// The editor needs a display, so the program starts a private X server
// (Xvfb picks a free display and reports it) that dies with the program.
#include <benchmark/benchmark.h>
#include <gtk/gtk.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/gadget/editor.h"
#include "runtime/gadget/gadgets.h"
#include "runtime/text/encoding.h"
#include "runtime/text/strings.h"
#include "runtime/window/events.h"
#include "runtime/window/toolkit.h"
#include "runtime/window/windows.h"

namespace {

constexpr size_t TEXT_BYTES = 1 << 20;
int64_t text_bytes;  // the UTF-8 size of the text actually held

bool start_private_display() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    // The server writes the number and the newline separately and dies if
    // the pipe is gone before the newline, so read up to it.
    std::string number;
    pollfd ready{fds[0], POLLIN, 0};
    char c = 0;
    while (c != '\n' && poll(&ready, 1, 10000) == 1 && read(fds[0], &c, 1) == 1) number += c;
    close(fds[0]);
    if (c != '\n') return false;
    char display[24];
    std::snprintf(display, sizeof display, ":%ld", std::strtol(number.c_str(), nullptr, 10));
    setenv("DISPLAY", display, 1);
    return true;
}

// About a mebibyte of UTF-8 that mixes ASCII, Latin-1, CJK, characters
// outside the Basic Multilingual Plane and line ends, as a note might.
std::u16string mixed_text() {
    const char* line = "The quick brown fox jumps over 42 lazy dogs; \xC3\xBC" "ber L\xC3\xB6wen, "
                       "\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x81\xAE\xE5\xA4\x9C \xF0\x9F\xA6\x8A\xF0\x9F\x8E\x89 done.\n";
    std::string utf8;
    while (utf8.size() < TEXT_BYTES) utf8 += line;
    text_bytes = static_cast<int64_t>(utf8.size());
    char16_t* units = utf8_to_string_alloc(utf8.c_str());
    std::u16string text(units, static_cast<size_t>(str_len(units)));
    std::free(units);
    return text;
}

// Editor 0 in window 0 holding the text; made once for both benchmarks.
GadgetObject* editor() {
    static GadgetObject* made = [] () -> GadgetObject* {
        static char name[] = "gadget_bench";
        static char* arguments[] = {name, nullptr};
        static int count = 1;
        static char** vector = arguments;
        if (!start_private_display()) return nullptr;
        strings_start();
        toolkit_start(&count, &vector);
        events_start();
        windows_start();
        gadgets_start();
        if (!window_open(0, 0, 0, 400, 300, u"bench", 0) || !editor_create(0, 0, 0, 400, 300)) return nullptr;
        std::u16string text = mixed_text();
        gadget_set_text(0, text.c_str());
        toolkit_flush();
        // Both sides must read the same text, or the comparison means nothing.
        int32_t start = scratch.pos;
        gadget_get_text(0, start);
        bool same = text == reinterpret_cast<const char16_t*>(scratch.base + start);
        scratch.pos = start;
        return same ? gadget_object(0) : nullptr;
    }();
    return made;
}

void get_text_papyro(benchmark::State& state) {
    if (!editor()) return state.SkipWithError("no display, or the editor's text differs");
    int32_t start = scratch.pos;
    for (auto _ : state) {
        gadget_get_text(0, start);
        benchmark::DoNotOptimize(scratch.base);
        scratch.pos = start;
    }
    state.SetBytesProcessed(text_bytes * state.iterations());
}

void get_text_glib(benchmark::State& state) {
    GadgetObject* record = editor();
    if (!record) return state.SkipWithError("no display, or the editor's text differs");
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(record->widget));
    for (auto _ : state) {
        GtkTextIter start, end;
        gtk_text_buffer_get_bounds(buffer, &start, &end);
        char* text = gtk_text_buffer_get_text(buffer, &start, &end, TRUE);
        gunichar2* units = g_utf8_to_utf16(text, -1, nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(units);
        g_free(units);
        g_free(text);
    }
    state.SetBytesProcessed(text_bytes * state.iterations());
}

BENCHMARK(get_text_papyro)->Name("gadget_get_text_1MiB:papyro")->Unit(benchmark::kMicrosecond);
BENCHMARK(get_text_glib)->Name("gadget_get_text_1MiB:gtk_get_text+g_utf8_to_utf16")->Unit(benchmark::kMicrosecond);

}  // namespace
