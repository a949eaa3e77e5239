// The note window and its autosave loop.
//
// One borderless window kept above the others, filled by an editor. After
// every return of the event wait the editor's text is compared with the text
// of the last successful save and saved when it differs; a failed save is
// simply tried again after the next return. A close request (or the end of
// the session: SIGTERM, SIGHUP, SIGINT) ends the loop after one last save.
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <cstdio>
#include <initializer_list>

#include "app/note.h"
#include "app/program.h"
#include "runtime/gadget/editor.h"
#include "runtime/gadget/fonts.h"
#include "runtime/gadget/gadgets.h"
#include "runtime/window/events.h"
#include "runtime/window/toolkit.h"
#include "runtime/window/windows.h"

namespace {

constexpr uint32_t NOTE_WINDOW_FLAGS = WINDOW_NO_BORDER | WINDOW_TITLE_MENU;  // 0x84
// The toolkit's cursor blinks for ever by default, waking the note twice a
// second; stop it after this many seconds without input.
constexpr int CURSOR_BLINK_SECONDS = 10;

// Signals arrive on the main loop (never inside a signal handler) and become
// a close request, so they end the note the way closing the window does.
gboolean on_end_signal(gpointer) {
    event_post(EVENT_CLOSE_WINDOW, 0, NOTE_OBJECT, 0);
    return G_SOURCE_CONTINUE;
}

void watch_end_signals() {
    for (int signal_number : {SIGTERM, SIGHUP, SIGINT}) g_unix_signal_add(signal_number, on_end_signal, nullptr);
}

int32_t font_flags(int32_t bold, int32_t italic) {
    // Only the exact pairs of 0 and 1 choose a font; anything else keeps the
    // editor's default font.
    if ((bold != 0 && bold != 1) || (italic != 0 && italic != 1)) return -1;
    return (bold ? FONT_BOLD : 0) | (italic ? FONT_ITALIC : 0);
}

bool build_window() {
    NoteState& note = program.note;
    g_object_set(gtk_settings_get_default(), "gtk-cursor-blink-timeout", CURSOR_BLINK_SECONDS, nullptr);
    // The window is shown only once the editor holds the text and the focus:
    // keys typed the moment it appears must not fall on a window without
    // an editor.
    if (!window_open(NOTE_OBJECT, note.x, note.y, note.width, note.height, u"EditorGadget",
                     NOTE_WINDOW_FLAGS | WINDOW_HIDDEN, 0))
        return false;
    window_set_keep_above(NOTE_OBJECT, 1);
    editor_create(NOTE_OBJECT, 0, 0, note.width, note.height, 0);
    int32_t flags = font_flags(note.bold, note.italic);
    if (flags >= 0 && font_load(NOTE_OBJECT, note.settings[4], note.font_size, flags))
        gadget_set_font(NOTE_OBJECT, font_handle(NOTE_OBJECT));
    gadget_set_color(NOTE_OBJECT, COLOR_FRONT, note.colour);
    gadget_set_text(NOTE_OBJECT, note.text);
    gadget_activate(NOTE_OBJECT);
    gtk_widget_show(window_object(NOTE_OBJECT)->window);
    toolkit_flush();
    return true;
}

}  // namespace

void note_autosave_pass() {
    NoteState& note = program.note;
    int32_t start = scratch.pos;
    gadget_get_text(NOTE_OBJECT, start);
    scratch_assign(&note.text, start);
    if (str_equal(note.text, note.saved_copy)) return;
    // The saved copy moves only when the save succeeded, so a failed save is
    // tried again after the next return of the wait.
    if (save_note()) str_assign(&note.saved_copy, note.text);
}

void note_window_run() {
    NoteState& note = program.note;
    watch_end_signals();  // from here on, the end of the session saves the note
    if (!build_window()) return;
    do {
        note.last_wait = event_wait(-1);
        note_autosave_pass();
    } while (note.last_wait != EVENT_CLOSE_WINDOW);
    // Keys typed just before the close request may still wait in the X
    // server or the toolkit's queue: take them in before the last save.
    gdk_display_sync(gdk_display_get_default());
    toolkit_flush();
    note_autosave_pass();
    if (!str_equal(note.text, note.saved_copy))
        fprintf(stderr, "papyro: closing with unsaved changes; text.txt keeps the last saved text\n");
}
