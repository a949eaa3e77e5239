// The note: settings, note text and the note window.
#pragma once

// The note's variables; zero means "not read yet" for every field.
struct NoteState {
    int unused;
};

// Reads papyro.ini into the settings.
void note_load_settings();
// Loads text.txt into the note text.
void note_load_text();
// Writes the note text to text.txt.
void save_note();
// Builds the note window and runs the autosave loop until a close request.
void note_window_run();
