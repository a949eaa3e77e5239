// Strings: 16-bit string values, the string scratch and the string functions.
#pragma once

// Sets up the scratch area in which string results are built.
void strings_start();
