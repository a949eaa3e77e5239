// The program state block: every program-wide variable lives here, so that
// clearing this one block at entry gives every variable its starting value.
#pragma once

#include <cstdint>

#include "app/note.h"

struct ProgramState {
    int argc;
    char** argv;
    int32_t exit_status;
    NoteState note;
};

extern ProgramState program;
