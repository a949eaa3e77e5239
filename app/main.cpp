// papyro: a desktop note kept above all windows, saved after every change.
// To understand everything else, start reading program_run() in lifecycle.cpp.
#include <cstdlib>

#include "app/lifecycle.h"

int main(int argc, char** argv) { std::exit(program_run(argc, argv)); }
