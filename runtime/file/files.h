// Numbered files over C streams with one read/write buffer each.
#pragma once

void files_start();
// Closes every open file, writing pending buffered bytes first.
void files_end();
