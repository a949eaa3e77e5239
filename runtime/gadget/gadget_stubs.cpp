#include "runtime/gadget/fonts.h"
#include "runtime/gadget/gadgets.h"

void gadgets_start() {}
void fonts_start() {}
void fonts_end() {}
