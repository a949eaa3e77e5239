#include "runtime/text/strings.h"

StringScratch scratch;

void strings_start() {}
