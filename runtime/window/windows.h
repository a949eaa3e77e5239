// Top-level windows whose signals feed the event queue.
#pragma once

void windows_start();
// Closes every open window, and with it the window's gadgets.
void windows_end();
