// The lifecycle linked against recording fakes of every layer: the order of
// the start and end steps cannot change without this test noticing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/lifecycle.h"
#include "app/program.h"

namespace {
std::vector<std::string> calls;
int* toolkit_argc = nullptr;
char*** toolkit_argv = nullptr;
}  // namespace

void strings_start() { calls.push_back("strings_start"); }
void toolkit_start(int* argc, char*** argv) {
    calls.push_back("toolkit_start");
    toolkit_argc = argc;
    toolkit_argv = argv;
}
void decoders_start() { calls.push_back("decoders_start"); }
int bmp_decoder_register() {
    calls.push_back("bmp_decoder_register");
    return 1;
}
void images_start() { calls.push_back("images_start"); }
void events_start() { calls.push_back("events_start"); }
void windows_start() { calls.push_back("windows_start"); }
void gadgets_start() { calls.push_back("gadgets_start"); }
void fonts_start() { calls.push_back("fonts_start"); }
void files_start() { calls.push_back("files_start"); }
void note_load_settings() { calls.push_back("note_load_settings"); }
void note_load_text() { calls.push_back("note_load_text"); }
void note_window_run() { calls.push_back("note_window_run"); }
void files_end() { calls.push_back("files_end"); }
void fonts_end() { calls.push_back("fonts_end"); }
void windows_end() { calls.push_back("windows_end"); }
void images_end() { calls.push_back("images_end"); }

TEST(Lifecycle, StartsRunsAndEndsInTheFixedOrder) {
    calls.clear();
    char arg0[] = "papyro";
    char* argv[] = {arg0, nullptr};
    program.exit_status = 7;  // cleared at entry

    EXPECT_EQ(program_run(1, argv), 0);

    const std::vector<std::string> expected = {
        "strings_start", "toolkit_start", "decoders_start", "bmp_decoder_register", "images_start",
        "events_start", "windows_start", "gadgets_start", "fonts_start", "files_start",
        "note_load_settings", "note_load_text", "note_window_run",
        "files_end", "fonts_end", "windows_end", "images_end"};
    EXPECT_EQ(calls, expected);
}

TEST(Lifecycle, ToolkitGetsTheAddressesOfTheKeptArguments) {
    char arg0[] = "papyro";
    char* argv[] = {arg0, nullptr};
    program_run(1, argv);
    EXPECT_EQ(toolkit_argc, &program.argc);
    EXPECT_EQ(toolkit_argv, &program.argv);
    EXPECT_EQ(program.argc, 1);
    EXPECT_EQ(program.argv, argv);
}
