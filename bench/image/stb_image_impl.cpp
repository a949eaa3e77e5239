// The peer decoder's implementation, compiled once for the image benchmark.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#include <stb_image.h>
