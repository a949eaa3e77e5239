#include "runtime/file/files.h"

void files_start() {}
void files_end() {}
