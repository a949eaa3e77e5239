#include "app/note.h"

void note_load_settings() {}
void note_load_text() {}
void save_note() {}
void note_window_run() {}
