// Toolkit start-up, toolkit_flush and the event wait.
#include "runtime/window/toolkit.h"

#include <gtk/gtk.h>
#include <sys/time.h>

#include <ctime>

#include "runtime/core/memory.h"
#include "runtime/window/events.h"

namespace {

struct CurrentEvent {
    int32_t code;
    ObjectId object;
    ObjectId window;
    intptr_t data;
    intptr_t extra;
    EventReleaseFn release;
    TransferRecord* transfer;
};

int32_t toolkit_started;
CurrentEvent current;

// Whatever the previous event carried is released only now, so the program
// may use it until it waits again.
void release_previous() {
    if (current.extra && current.release) {
        current.release(current.extra);
        current.extra = 0;
        current.release = nullptr;
    }
    if (TransferRecord* transfer = current.transfer) {
        current.transfer = nullptr;
        if (transfer->selection) gtk_selection_data_free(transfer->selection);
        mem_free(transfer);
    }
}

int32_t take() {
    return event_pop(&current.object, &current.window, &current.data, &current.extra, &current.release);
}

int64_t elapsed_ms(const timeval& start) {
    timeval now{};
    gettimeofday(&now, nullptr);
    return (now.tv_sec - start.tv_sec) * 1000 + (now.tv_usec - start.tv_usec) / 1000;
}

// Polling in plain sleeps adds no timer or idle source to the toolkit, so a
// program that waits with a timeout leaves the main loop as it found it.
bool poll_until_input(int32_t timeout_ms) {
    timeval start{};
    gettimeofday(&start, nullptr);
    const timespec step{0, 2'000'000};
    while (!gtk_events_pending()) {
        nanosleep(&step, nullptr);
        if (elapsed_ms(start) > timeout_ms) break;
    }
    return gtk_events_pending();
}

// Runs at most one toolkit iteration; true when one ran.
bool run_toolkit(int32_t timeout_ms) {
    if (timeout_ms < 0) {
        gtk_main_iteration();
        return true;
    }
    bool pending = timeout_ms == 0 ? gtk_events_pending() : poll_until_input(timeout_ms);
    if (pending) gtk_main_iteration_do(FALSE);
    return pending;
}

}  // namespace

void toolkit_start(int* argc, char*** argv) {
    if (toolkit_started) return;
    gtk_init(argc, argv);
    toolkit_started = 1;
}

void toolkit_flush() {
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

int32_t event_wait(int32_t timeout_ms) {
    release_previous();
    current.code = EVENT_NONE;
    current.object = 0;
    current.window = -1;
    current.data = 0;
    int32_t code = take();
    if (!code) {
        bool ran = run_toolkit(timeout_ms);
        code = take();
        if (!code) code = ran ? EVENT_TOOLKIT_ACTIVITY : EVENT_NONE;
    }
    if (code == EVENT_TRANSFER_A || code == EVENT_TRANSFER_B) {
        current.transfer = reinterpret_cast<TransferRecord*>(current.data);
        current.data = 0;
    }
    current.code = code;
    return code;
}

ObjectId event_object() { return current.object; }
intptr_t event_data() { return current.data; }
ObjectId event_window() { return current.window; }
