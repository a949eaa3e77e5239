// Arbitrary file contents read as lines until the end, buffered or not (the
// first byte chooses), with an update write after the first line so that
// the read-ahead give-back runs too. Every line must come back terminated
// at the scratch position it was asked for, and no read may run off a buffer.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/file/files.h"
#include "runtime/text/encoding.h"

namespace {

// The input lives in a memory file, reopened by name through /proc, so
// that no run waits on a disk.
struct Setup {
    int fd;
    std::u16string name;
    Setup() {
        strings_start();
        files_start();
        fd = memfd_create("papyro-fuzz", 0);
        if (fd < 0) std::abort();
        std::string path = "/proc/self/fd/" + std::to_string(fd);
        char16_t* converted = utf8_to_string_alloc(path.c_str());
        name = converted;
        free(converted);
    }
};

void check_line(int32_t start, int64_t limit) {
    auto units = (scratch.pos - start) / 2;
    auto* text = reinterpret_cast<const char16_t*>(scratch.base + start);
    if (scratch.pos < start || units > limit || text[units] != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Setup setup;
    if (size == 0) return 0;
    auto body = static_cast<ssize_t>(size - 1);
    if (ftruncate(setup.fd, 0) != 0 || pwrite(setup.fd, data + 1, size - 1, 0) != body) std::abort();

    file_force_unbuffered(data[0] & 1);
    if (!file_open_update(0, setup.name.c_str())) std::abort();
    int32_t start = scratch.pos;
    for (int lines = 0; !file_eof(0); lines++) {
        if (lines > static_cast<int>(size)) std::abort();  // every line consumes a byte
        file_read_line(0, start);
        check_line(start, static_cast<int64_t>(size));
        if (lines == 0 && (data[0] & 2)) file_write_string(0, u"w\xE9", data[0] & 4 ? TEXT_UTF16 : TEXT_UTF8);
    }
    file_read_line(0, start);
    if (scratch.pos != start) std::abort();  // past the end: empty
    scratch.pos = start;
    file_close(0);
    return 0;
}
