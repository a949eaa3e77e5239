#include "runtime/text/strings.h"

void strings_start() {}
