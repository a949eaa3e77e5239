// The BMP decoder.
#pragma once

// Registers the BMP decoder in the chain; returns the chain's result.
int bmp_decoder_register();
