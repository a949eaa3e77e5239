// bmp2ppm IN.bmp OUT.ppm: decodes an image through the runtime's decoder
// chain and writes it as binary PPM (P6, maxval 255).
//
// The output appears whole or not at all: the image is decoded completely
// before anything is written, the PPM goes to a temporary file beside OUT,
// and only a fully written file is renamed onto OUT. Every failure is one line
// on stderr naming the file and the reason, with exit status 1.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/image/bmp.h"
#include "runtime/image/decoders.h"

namespace {

struct Image {
    int32_t width;
    int32_t height;
    uint8_t* rows;  // width * 3 bytes per row, top row first
};

int fail(const char* file, const char* reason) {
    std::fprintf(stderr, "bmp2ppm: %s: %s\n", file, reason);
    return 1;
}

// Decodes `path`; on failure returns the reason.
const char* decode_file(const char* path, Image* image) {
    FILE* in = std::fopen(path, "rb");
    if (!in) return std::strerror(errno);
    if (!decoder_try_stream(in)) return "not an image this program can decode";
    image->width = decoder_width();
    image->height = decoder_height();
    size_t bytes = size_t(image->width) * 3 * size_t(image->height);
    image->rows = static_cast<uint8_t*>(std::calloc(bytes, 1));
    if (!image->rows) {
        decoder_finish();
        return "not enough memory for the image";
    }
    if (decoder_decode(image->rows, image->width * 3, 0)) return nullptr;
    std::free(image->rows);
    image->rows = nullptr;
    return "the image could not be decoded";
}

bool write_ppm(FILE* out, const Image& image) {
    if (std::fprintf(out, "P6\n%d %d\n255\n", image.width, image.height) < 0) return false;
    size_t bytes = size_t(image.width) * 3 * size_t(image.height);
    return std::fwrite(image.rows, 1, bytes, out) == bytes;
}

// Writes beside `path` and renames onto it; on failure returns the reason.
const char* save_ppm(const char* path, const Image& image) {
    std::string temporary = std::string(path) + ".XXXXXX";
    int fd = mkstemp(temporary.data());
    if (fd < 0) return std::strerror(errno);
    // mkstemp makes the file private; give it the mode a plain create would.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    FILE* out = fdopen(fd, "wb");
    if (!out) {
        int error = errno;
        close(fd);
        unlink(temporary.c_str());
        return std::strerror(error);
    }
    errno = EIO;  // the reason when a short write leaves errno untouched
    bool written = write_ppm(out, image);
    int error = errno;
    if (std::fclose(out) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && std::rename(temporary.c_str(), path) == 0) return nullptr;
    if (written) error = errno;
    unlink(temporary.c_str());
    return std::strerror(error);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bmp2ppm IN.bmp OUT.ppm\n");
        return 1;
    }
    decoders_start();
    bmp_decoder_register();
    Image image{};
    if (const char* reason = decode_file(argv[1], &image)) return fail(argv[1], reason);
    const char* reason = save_ppm(argv[2], image);
    std::free(image.rows);
    return reason ? fail(argv[2], reason) : 0;
}
