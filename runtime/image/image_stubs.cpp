#include "runtime/image/bmp.h"
#include "runtime/image/decoders.h"
#include "runtime/image/images.h"

void decoders_start() {}
int bmp_decoder_register() { return 1; }
void images_start() {}
void images_end() {}
