// The image decoder chain.
#pragma once

// Empties the decoder chain and makes the decoder context block.
void decoders_start();
