// The yardstick for the note's start-up and memory: a plain toolkit window
// holding a scrolled text view with text.txt from the working folder, and
// nothing else (no runtime, no settings, no saving).
#include <gtk/gtk.h>

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 300, 300);
    gtk_window_move(GTK_WINDOW(window), 100, 100);
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    GtkWidget* view = gtk_text_view_new();
    gchar* text = nullptr;
    gsize length = 0;
    if (g_file_get_contents("text.txt", &text, &length, nullptr)) {
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), text, static_cast<gint>(length));
        g_free(text);
    }
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    gtk_container_add(GTK_CONTAINER(window), scrolled);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    gtk_widget_grab_focus(view);
    gtk_main();
    return 0;
}
