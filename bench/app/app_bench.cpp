// One pass of the note's autosave loop, the work that follows every return
// of the event wait: fetch the editor's whole text, compare it with the copy
// of the last save, and save it when it differs (temporary file, fsync,
// rename, folder sync). Measured for a 1 KiB and a 1 MiB note of mixed text,
// once for a pass that saves and once for a pass that finds nothing changed.
//
// The editor needs a display: the program starts a private X server before
// the toolkit, and saves into a temporary folder made its working folder.
// The saving figures depend mostly on the file system's fsync; nothing else
// does the same work, so there is no peer.
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/note.h"
#include "app/program.h"
#include "runtime/file/files.h"
#include "runtime/gadget/editor.h"
#include "runtime/gadget/fonts.h"
#include "runtime/gadget/gadgets.h"
#include "runtime/text/encoding.h"
#include "runtime/text/strings.h"
#include "runtime/window/events.h"
#include "runtime/window/toolkit.h"
#include "runtime/window/windows.h"
#include "tests/support/xserver.h"

namespace {

std::string folder;

void remove_folder() {
    if (folder.empty() || chdir("/") != 0) return;
    unlink((folder + "/text.txt").c_str());
    rmdir(folder.c_str());
}

// The runtime started as the program starts it, in a temporary working
// folder, with the note's window and editor built as the note builds them.
bool note_ready() {
    static bool ready = [] {
        static char name[] = "app_bench";
        static char* arguments[] = {name, nullptr};
        program.argc = 1;
        program.argv = arguments;
        if (!xtest::start_display(false)) {
            std::fprintf(stderr, "app_bench: %s\n", xtest::last_error().c_str());
            return false;
        }
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/papyro-app-bench-XXXXXX";
        if (!mkdtemp(pattern.data()) || chdir(pattern.c_str()) != 0) return false;
        folder = pattern;
        std::atexit(remove_folder);
        strings_start();
        toolkit_start(&program.argc, &program.argv);
        events_start();
        windows_start();
        gadgets_start();
        fonts_start();
        files_start();
        if (!window_open(NOTE_OBJECT, 0, 0, 400, 300, u"EditorGadget", WINDOW_NO_BORDER | WINDOW_TITLE_MENU)) return false;
        window_set_keep_above(NOTE_OBJECT, 1);
        return editor_create(NOTE_OBJECT, 0, 0, 400, 300, 0) != 0;
    }();
    return ready;
}

// About `bytes` of UTF-8 that mixes ASCII, Latin-1, CJK, characters outside
// the Basic Multilingual Plane and line ends, as a note might; cut at a
// character boundary.
std::u16string mixed_text(size_t bytes) {
    const char* line = "The quick brown fox jumps over 42 lazy dogs; \xC3\xBC" "ber L\xC3\xB6wen, "
                       "\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x81\xAE\xE5\xA4\x9C \xF0\x9F\xA6\x8A\xF0\x9F\x8E\x89 done.\n";
    std::string utf8;
    while (utf8.size() < bytes) utf8 += line;
    size_t cut = bytes;
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) cut--;
    utf8.resize(cut);
    char16_t* units = utf8_to_string_alloc(utf8.c_str());
    std::u16string text(units, static_cast<size_t>(str_len(units)));
    std::free(units);
    return text;
}

// The editor holds the text; returns false when it does not give the same
// text back, since the figures would then describe another note.
bool load_editor(const std::u16string& text) {
    gadget_set_text(NOTE_OBJECT, text.c_str());
    toolkit_flush();
    int32_t start = scratch.pos;
    gadget_get_text(NOTE_OBJECT, start);
    bool same = text == reinterpret_cast<const char16_t*>(scratch.base + start);
    scratch.pos = start;
    return same;
}

// Each pass saves: the saved copy differs from the editor's text in its last
// unit only, as after a key typed at the end, so the comparison runs the whole
// length before it finds the change.
void autosave_saving(benchmark::State& state) {
    if (!note_ready()) return state.SkipWithError("no display, or no note window");
    std::u16string text = mixed_text(static_cast<size_t>(state.range(0)));
    if (!load_editor(text)) return state.SkipWithError("the editor gives back another text");
    std::u16string almost = text;
    almost.back() = almost.back() == u'x' ? u'y' : u'x';
    NoteState& note = program.note;
    for (auto _ : state) {
        state.PauseTiming();
        str_assign(&note.saved_copy, almost.c_str());
        state.ResumeTiming();
        note_autosave_pass();
    }
    struct stat saved;
    if (stat("text.txt", &saved) != 0 || !str_equal(note.saved_copy, text.c_str()))
        return state.SkipWithError("the pass did not save the note");
    state.SetBytesProcessed(static_cast<int64_t>(saved.st_size) * state.iterations());
}

// A pass that finds the text unchanged: the cost of every wake-up that
// brings no edit (focus changes, toolkit activity).
void autosave_unchanged(benchmark::State& state) {
    if (!note_ready()) return state.SkipWithError("no display, or no note window");
    std::u16string text = mixed_text(static_cast<size_t>(state.range(0)));
    if (!load_editor(text)) return state.SkipWithError("the editor gives back another text");
    str_assign(&program.note.saved_copy, text.c_str());
    for (auto _ : state) note_autosave_pass();
    state.SetBytesProcessed(static_cast<int64_t>(state.range(0)) * state.iterations());
}

BENCHMARK(autosave_saving)->Name("autosave_pass_saving:papyro")->Arg(1 << 10)->Arg(1 << 20)
    ->UseRealTime()->Unit(benchmark::kMicrosecond);  // it waits for the disk
BENCHMARK(autosave_unchanged)->Name("autosave_pass_unchanged:papyro")->Arg(1 << 10)->Arg(1 << 20)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
