// Toolkit start-up and the event wait: the toolkit's main loop turned into a
// pull interface. event_wait hands out queued events one at a time and, when
// none is queued, lets the toolkit run at most one iteration so that signal
// handlers can queue new ones.
//
// What the returned event carried for release (its extra, or a transfer
// record) stays valid until the next event_wait, which releases it first.
#pragma once

#include <cstdint>

#include "runtime/core/registry.h"

struct _GtkSelectionData;

// Results of event_wait besides the event codes of events.h.
constexpr int32_t EVENT_NONE = 0;              // nothing queued, no toolkit iteration ran
constexpr int32_t EVENT_TOOLKIT_ACTIVITY = -1;  // an iteration ran but queued nothing

// The data of EVENT_TRANSFER_A and EVENT_TRANSFER_B: a memory block owned by
// the event wait from the return of the event until the next wait, which
// frees the selection data and then the block. The other words are the
// producer's.
struct TransferRecord {
    void* producer[5];
    _GtkSelectionData* selection;
};

// Initialises the toolkit once with the addresses of the program's argument
// count and vector, so the toolkit can take out the options it understands.
// Later calls do nothing.
void toolkit_start(int* argc, char*** argv);

// Lets the toolkit handle everything it has pending, without blocking.
void toolkit_flush();

// Returns the next event's code, EVENT_NONE or EVENT_TOOLKIT_ACTIVITY.
// timeout_ms < 0: one blocking toolkit iteration when nothing is queued;
// 0: only a pending iteration; > 0: polls in 2 ms steps until the toolkit
// has input or more than timeout_ms milliseconds have passed.
int32_t event_wait(int32_t timeout_ms = -1);

// The event last returned by event_wait; after a wait that returned no event:
// 0, 0 and -1 (before the first wait all three are 0). The data of a
// transfer event reads as 0.
ObjectId event_object();
intptr_t event_data();
ObjectId event_window();
