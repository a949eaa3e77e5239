// Files: numbered files over C streams, each with one buffer that serves
// reading and writing alike, plus reading a line as a string and writing a
// string in a chosen byte format.
//
// A file is addressed by a number the caller picks (0, 1, ...) or by the
// handle that an open with OBJECT_ANY hands back. The buffer is either in
// reading state (bytes read ahead, not yet handed out) or in writing state
// (bytes accepted, not yet written), and switches on demand so that reads
// and writes mix on one file while its position stays where the caller
// expects: a write after a read lands right after the last byte handed out.
// File names are String16 and reach the C library as UTF-8.
#pragma once

#include <cstdint>
#include <cstdio>

#include "runtime/core/registry.h"
#include "runtime/text/strings.h"

struct FileObject {
    FILE* stream;         // non-null exactly while the file is open
    char* buffer;         // MemoryBlock of buffer_size bytes; null: unbuffered
    int32_t buffer_size;
    int32_t count;        // reading: bytes not yet handed out; writing: bytes free
    int32_t fill;         // bytes the last refill put into the buffer
    int32_t reading;      // 1 reading state, 0 writing state
    int32_t write_failed; // sticky: some write or flush reached the stream short
};

constexpr int32_t FILE_BUFFER_SIZE = 4096;

constexpr int32_t OPEN_READ = 1;    // "r": must exist, read only
constexpr int32_t OPEN_UPDATE = 2;  // "r+", else "w+": contents kept, created when missing
constexpr int32_t OPEN_CREATE = 3;  // "w+": created or truncated

// The line buffer grows in steps of at least this many bytes.
constexpr int32_t LINE_CHUNK = 4096;

// Formats for file_write_string; any other value writes Latin-1.
constexpr int32_t TEXT_UTF8 = 2;
constexpr int32_t TEXT_UTF16 = 9;  // the code units as they are, low byte first

void files_start();
// Closes every open file, writing pending buffered bytes first.
void files_end();

// Opens `name` under `id` (a number >= 0, or OBJECT_ANY for a new handle).
// A file already open under that number is closed first, even when the new
// open then fails. Returns the stream for a number, the handle for
// OBJECT_ANY, 0 on failure (missing file, a folder, no permission, a name
// that is not valid UTF-16, an unknown mode). When the buffer cannot be had
// the file works unbuffered.
ObjectId file_open(ObjectId id, String16 name, int32_t mode);
ObjectId file_open_read(ObjectId id, String16 name);
ObjectId file_open_update(ObjectId id, String16 name);
ObjectId file_create(ObjectId id, String16 name);

// Writes pending bytes, closes the stream and frees the number. Nothing
// happens for OBJECT_ANY or a number that holds no open file.
void file_close(ObjectId id);

// 1 when no byte is left to read, 0 otherwise (also 0 when nothing is open
// under `id`). Consumes nothing; pending written bytes reach the stream first.
int32_t file_eof(ObjectId id);

// Writes pending bytes and flushes the stream. Returns 1 when every byte
// ever accepted by this file has reached the operating system, 0 when any
// write or flush since the open fell short (the failure is sticky, so one
// check before closing covers the file's whole life) or nothing is open
// under `id`. file_write_string counts bytes as accepted while they are
// still buffered; this is where a full disk shows.
int32_t file_flush_checked(ObjectId id);

// The buffer's working operations; they also serve an unbuffered file by
// going to the stream directly.
int32_t file_buffer_read(FileObject* file, void* destination, int32_t n);   // bytes delivered
int32_t file_buffer_write(FileObject* file, const void* source, int32_t n); // bytes accepted
int32_t file_buffer_flush(FileObject* file);                                // bytes written

// The next line without its line end, decoded from UTF-8, as the result at
// scratch offset `at` (result-position protocol). Line ends: LF, CR, CR LF,
// a NUL byte, the end of the file. Empty at the end of the file or when
// nothing is open under `id`. Bytes that are not UTF-8 end the line's text
// where decoding stops; the rest of that line is dropped, the next line is
// read normally.
void file_read_line(ObjectId id, int32_t at);

// Writes `text` in `format` without terminator, line end or byte-order mark.
// Returns the bytes written or accepted into the buffer (in the format's
// bytes, not characters); 0 for an empty text or nothing open under `id`.
// UTF-8 stops at a high surrogate that no low surrogate follows; Latin-1
// leaves out units above 0xFF.
int32_t file_write_string(ObjectId id, String16 text, int32_t format);

// Test seam: while set, opens behave as if no buffer memory could be had,
// so the unbuffered path can be exercised.
void file_force_unbuffered(int32_t on);
