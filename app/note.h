// The note: nine settings read from papyro.ini, the note text loaded from
// text.txt, and the window whose editor is saved back to text.txt after every
// change.
#pragma once

#include <cstdint>

#include "runtime/text/strings.h"

// File numbers and object numbers the note uses.
constexpr int NOTE_READ_FILE = 0;   // papyro.ini, then text.txt
constexpr int NOTE_WRITE_FILE = 1;  // the save
constexpr int NOTE_OBJECT = 0;      // window, editor gadget and font

// The note's variables; all zero or null before anything is read.
struct NoteState {
    StringVar settings[9];  // line 9 holds "$" and the colour digits
    int32_t x, y, width, height;
    int32_t font_size, bold, italic;
    int32_t colour;
    StringVar text;        // as loaded; later the editor's text
    int32_t last_wait;     // what the last event wait returned
    StringVar saved_copy;  // the text of the last successful save
    int32_t save_failing;  // the last save failed and said so
    int32_t backup_pending;  // text.txt lost bytes on load; keep the original first
};

void note_load_settings();
void note_load_text();
// Writes the note text to text.txt atomically; 1 on success, 0 on failure
// (the old text.txt is then untouched and one line on stderr says why).
int32_t save_note();
// Builds the note window and runs the autosave loop until a close request.
void note_window_run();
// One pass of that loop: fetch the editor's text and save it when it differs
// from the text of the last successful save.
void note_autosave_pass();
