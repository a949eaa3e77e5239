// The image registry.
#pragma once

void images_start();
// Releases every image, then the hidden reference window.
void images_end();
