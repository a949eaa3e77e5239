// Start and end sequences. The order is fixed: strings first because every
// layer builds strings; the toolkit before anything that calls it; the decoder
// chain emptied before the BMP decoder joins it; files last in and first out
// so that no file is open while the other layers change.
#include "app/lifecycle.h"

#include "app/note.h"
#include "app/program.h"
#include "runtime/file/files.h"
#include "runtime/gadget/fonts.h"
#include "runtime/gadget/gadgets.h"
#include "runtime/image/bmp.h"
#include "runtime/image/decoders.h"
#include "runtime/image/images.h"
#include "runtime/text/strings.h"
#include "runtime/window/events.h"
#include "runtime/window/toolkit.h"
#include "runtime/window/windows.h"

ProgramState program;

namespace {

void start_layers() {
    strings_start();
    toolkit_start(&program.argc, &program.argv);  // toolkit before images, windows, gadgets, fonts
    decoders_start();                             // chain emptied before any decoder registers
    bmp_decoder_register();
    images_start();
    events_start();
    windows_start();
    gadgets_start();
    fonts_start();
    files_start();  // last in, first out
}

void run_note() {
    note_load_settings();
    note_load_text();
    note_window_run();
}

void end_layers() {
    files_end();
    fonts_end();
    windows_end();  // closes the windows' gadgets too
    images_end();
}

}  // namespace

int program_run(int argc, char** argv) {
    program = ProgramState{};
    program.argc = argc;
    program.argv = argv;
    start_layers();
    run_note();
    end_layers();
    return program.exit_status;
}
