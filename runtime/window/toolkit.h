// Toolkit start-up and the event wait.
#pragma once

// Initialises the toolkit once with the addresses of the program's argument
// count and vector, so the toolkit can take out the options it understands.
void toolkit_start(int* argc, char*** argv);
