#include "runtime/window/events.h"
#include "runtime/window/toolkit.h"
#include "runtime/window/windows.h"

void toolkit_start(int*, char***) {}
void events_start() {}
void windows_start() {}
void windows_end() {}
