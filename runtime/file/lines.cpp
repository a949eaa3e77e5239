// Reading a line as a string and writing a string in a byte format.
//
// The reader scans the file's buffer for the next line end instead of taking
// one byte per call; it consumes the same bytes and makes the same stream
// reads as a byte-at-a-time reader would, so positions, line ends and the
// end-of-file test come out the same. A line that lies whole in the buffer
// is decoded from there; only a line that spans refills is collected.
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/core/memory.h"
#include "runtime/file/file_internal.h"
#include "runtime/text/encoding.h"

namespace {

bool is_line_end(char c) { return c == '\n' || c == '\r' || c == '\0'; }

// The first LF, CR or NUL in [from, end), or end.
const char* find_line_end(const char* from, const char* end) {
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i nul = _mm_setzero_si128();
    while (end - from >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                                   _mm_cmpeq_epi8(v, nul));
        if (int mask = _mm_movemask_epi8(hit)) return from + __builtin_ctz(static_cast<unsigned>(mask));
        from += 16;
    }
#endif
    while (from < end && !is_line_end(*from)) from++;
    return from;
}

// The bytes of a line that spans buffer refills (or of any line of an
// unbuffered file).
struct LineBytes {
    char* block;    // MemoryBlock, or null while nothing is stored
    int32_t size;   // bytes stored
    int32_t limit;  // most bytes the line may hold
};

// The longest line whose text still fits at scratch offset `at`: each byte
// decodes to at most one unit, and the scratch counts bytes in 32 bits with
// some room for its growth step.
int32_t line_limit(int32_t at) {
    int64_t top = at > scratch.pos ? at : scratch.pos;
    int64_t limit = (INT32_MAX - 65536 - top) / 2;
    return limit > 0 ? static_cast<int32_t>(limit) : 0;
}

// Stores up to n bytes; returns how many were stored. Fewer means the line
// cannot grow (no memory, or the limit): the caller ends it there and leaves
// the rest for the next line, so no byte is lost.
int32_t line_append(LineBytes& line, const char* bytes, int32_t n) {
    int32_t capacity = mem_size(line.block);
    if (n > line.limit - line.size) n = line.limit - line.size;
    if (line.size + n > capacity) {
        // Doubling keeps a line of several megabytes linear in its length.
        int64_t wanted = capacity < LINE_CHUNK ? LINE_CHUNK : int64_t{capacity} * 2;
        if (wanted < line.size + n) wanted = int64_t{line.size} + n;
        if (wanted > line.limit) wanted = line.limit;
        auto size = static_cast<int32_t>(wanted);
        char* grown = static_cast<char*>(line.block ? mem_resize(line.block, size) : mem_alloc_uncleared(size));
        if (!grown) return 0;
        line.block = grown;
    }
    if (n > 0) std::memcpy(line.block + line.size, bytes, static_cast<size_t>(n));
    line.size += n;
    return n;
}

// Decodes a line's UTF-8 bytes into the scratch at `at`.
void put_line(const char* bytes, int32_t len, int32_t at) {
    // A byte never decodes to more than one unit, so `len` units of room
    // always suffice and one pass does.
    char16_t* out = scratch_reserve(len, at);
    int32_t units = len > 0 ? bytes_to_wide(CODEPAGE_UTF8, 0, bytes, len, out, len) : 0;
    // A byte that cannot start a code point fails the conversion, though the
    // units before it are stored; the counting pass says how many.
    if (units == 0 && len > 0) units = bytes_to_wide(CODEPAGE_UTF8, 0, bytes, len, nullptr, 0);
    out[units] = 0;
    scratch.pos = at + units * 2;
}

// After a CR: an LF right behind it belongs to the same line end.
void swallow_lf(FileObject* file) {
    if (file_buffer_ready(file) == 0) return;
    if (file->buffer[file->fill - file->count] == '\n') file->count--;
}

void read_line_buffered(FileObject* file, int32_t at) {
    LineBytes line{nullptr, 0, line_limit(at)};
    const char* text = nullptr;
    int32_t len = 0;
    char end = 0;
    for (int32_t waiting; (waiting = file_buffer_ready(file)) > 0;) {
        const char* from = file->buffer + file->fill - waiting;
        const char* stop = find_line_end(from, from + waiting);
        auto n = static_cast<int32_t>(stop - from);
        bool found = stop < from + waiting;
        if (found && line.size == 0 && n <= line.limit) {
            text = from;
            len = n;
            end = *stop;
            file->count -= n + 1;
            break;
        }
        int32_t kept = line_append(line, from, n);
        file->count -= kept;
        if (kept < n) break;
        if (found) {
            end = *stop;
            file->count--;
            break;
        }
    }
    if (!text) {
        text = line.block;
        len = line.size;
    }
    // Decode before looking behind a CR: that look may refill the buffer
    // that `text` points into.
    put_line(text, len, at);
    mem_free(line.block);
    if (end == '\r') swallow_lf(file);
}

void read_line_unbuffered(FileObject* file, int32_t at) {
    file_buffer_ready(file);  // only to leave writing state
    LineBytes line{nullptr, 0, line_limit(at)};
    FILE* stream = file->stream;
    for (int c; (c = std::fgetc(stream)) != EOF;) {
        if (c == '\r') {
            int next = std::fgetc(stream);
            if (next != '\n' && next != EOF) std::ungetc(next, stream);
            break;
        }
        if (c == '\n' || c == 0) break;
        char byte = static_cast<char>(c);
        if (line_append(line, &byte, 1) == 0) {
            std::ungetc(c, stream);
            break;
        }
    }
    put_line(line.block, line.size, at);
    mem_free(line.block);
}

// Source units encoded per piece: big enough that a long note costs a few
// stream writes, small enough that the bytes of a huge text are never held
// whole.
constexpr int32_t PIECE_UNITS = 1 << 18;

// Encodes the text piece by piece. UTF-8 ends at a high surrogate that no
// low surrogate follows, after writing what came before it.
int32_t write_encoded(FileObject* file, String16 text, int32_t len, int32_t codepage) {
    int32_t most = len < PIECE_UNITS ? len : PIECE_UNITS;
    // Three bytes per unit is the most either code page needs (a surrogate
    // pair takes four for its two units).
    char* bytes = static_cast<char*>(mem_alloc_uncleared(most * 3));
    if (!bytes) return 0;
    int32_t total = 0;
    for (int32_t done = 0; done < len;) {
        int32_t piece = len - done < most ? len - done : most;
        // Keep a surrogate pair in one piece.
        if (done + piece < len && piece > 1 && text[done + piece - 1] >= 0xD800 && text[done + piece - 1] <= 0xDBFF)
            piece--;
        String16 from = text + done;
        int32_t n = wide_to_bytes(codepage, 0, from, piece, bytes, piece * 3, 0, 0);
        bool stopped = codepage == CODEPAGE_UTF8 && n == 0;
        if (stopped) n = wide_to_bytes(codepage, 0, from, piece, nullptr, 0, 0, 0);
        int32_t written = file_buffer_write(file, bytes, n);
        total += written;
        if (stopped || written < n) break;
        done += piece;
    }
    mem_free(bytes);
    return total;
}

}  // namespace

void file_read_line(ObjectId id, int32_t at) {
    FileObject* file = file_lookup(id);
    if (!file) {
        put_line(nullptr, 0, at);
    } else if (file->buffer) {
        read_line_buffered(file, at);
    } else {
        read_line_unbuffered(file, at);
    }
}

int32_t file_write_string(ObjectId id, String16 text, int32_t format) {
    if (!text || !text[0]) return 0;
    FileObject* file = file_lookup(id);
    if (!file) return 0;
    int32_t len = str_len(text);
    // Beyond this the 32-bit result could not count the bytes written.
    if (len > INT32_MAX / 3) return 0;
    if (format == TEXT_UTF16) return file_buffer_write(file, text, len * 2);
    return write_encoded(file, text, len, format == TEXT_UTF8 ? CODEPAGE_UTF8 : CODEPAGE_LATIN1);
}
