// The program's lifecycle: start every runtime layer in a fixed order, run the
// note, end the layers that hold files, fonts, windows and images.
#pragma once

// Clears the program state, keeps the arguments, runs the start sequence, the
// note and the end sequence; returns the exit status for exit().
int program_run(int argc, char** argv);
