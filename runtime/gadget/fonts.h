// Fonts loaded by name, size and style.
#pragma once

void fonts_start();
// Frees every loaded font.
void fonts_end();
