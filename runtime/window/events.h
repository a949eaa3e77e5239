// The event queue.
#pragma once

void events_start();
