// File objects: the file registry, opening and closing, and the one buffer
// per file that switches between read-ahead and pending writes.
//
// C streams opened for update need a positioning call between output and
// input in either direction; the state switches below always make one, so
// the stream's own buffer never holds bytes of the other direction.
#include <sys/stat.h>

#include <cstring>

#include "runtime/core/memory.h"
#include "runtime/file/file_internal.h"
#include "runtime/text/encoding.h"

namespace {

ObjectRegistry* files;
int32_t unbuffered_opens;

struct ModeTexts {
    const char* first;
    const char* fallback;  // tried when `first` fails, or null
};

// Indexed by the open mode.
constexpr ModeTexts MODE_TEXTS[] = {
    {nullptr, nullptr}, {"r", nullptr}, {"r+", "w+"}, {"w+", nullptr}};

int32_t write_stream(FileObject* file, const void* source, int32_t n) {
    auto written = static_cast<int32_t>(std::fwrite(source, 1, static_cast<size_t>(n), file->stream));
    if (written < n) file->write_failed = 1;
    return written;
}

void enter_reading(FileObject* file) {
    if (file->reading) return;
    file_buffer_flush(file);
    std::fseek(file->stream, 0, SEEK_CUR);  // flushes the stream; an error stays in ferror
    file->reading = 1;
    file->count = 0;
}

void enter_writing(FileObject* file) {
    if (!file->reading) return;
    // The read-ahead goes back to the stream so that the write lands right
    // after the last byte handed out; if it cannot, the write would land in
    // the wrong place, which counts as a failed write.
    if (std::fseek(file->stream, -static_cast<long>(file->count), SEEK_CUR) != 0 && file->count > 0)
        file->write_failed = 1;
    file->reading = 0;
    file->count = file->buffer_size;
}

FILE* open_stream(const char* path, int32_t mode) {
    FILE* stream = fopen64(path, MODE_TEXTS[mode].first);
    if (!stream && MODE_TEXTS[mode].fallback) stream = fopen64(path, MODE_TEXTS[mode].fallback);
    if (!stream) return nullptr;
    // A folder opens for reading, but no line could ever come from it.
    struct stat info;
    if (fstat(fileno(stream), &info) != 0 || S_ISDIR(info.st_mode)) {
        std::fclose(stream);
        return nullptr;
    }
    return stream;
}

}  // namespace

FileObject* file_lookup(ObjectId id) {
    return files ? static_cast<FileObject*>(registry_get(files, id)) : nullptr;
}

void files_start() { files = registry_new(sizeof(FileObject), REGISTRY_INCREMENT, file_close); }

void files_end() { registry_free_all(files); }

void file_force_unbuffered(int32_t on) { unbuffered_opens = on; }

ObjectId file_open(ObjectId id, String16 name, int32_t mode) {
    if (!files || mode < OPEN_READ || mode > OPEN_CREATE) return 0;
    auto* file = static_cast<FileObject*>(registry_alloc(files, id));
    if (!file) return 0;
    char* path = to_utf8_alloc(name);
    // An empty path is also what a name with a broken surrogate pair becomes.
    FILE* stream = path[0] ? open_stream(path, mode) : nullptr;
    utf8_free(path);
    if (!stream) {
        if (id == OBJECT_ANY) registry_free(files, reinterpret_cast<ObjectId>(file));
        return 0;
    }
    file->buffer = unbuffered_opens ? nullptr : static_cast<char*>(mem_alloc(FILE_BUFFER_SIZE));
    file->buffer_size = FILE_BUFFER_SIZE;
    file->count = 0;
    file->fill = 0;
    file->reading = 1;
    file->write_failed = 0;
    file->stream = stream;
    return id == OBJECT_ANY ? reinterpret_cast<ObjectId>(file) : reinterpret_cast<ObjectId>(stream);
}

ObjectId file_open_read(ObjectId id, String16 name) { return file_open(id, name, OPEN_READ); }
ObjectId file_open_update(ObjectId id, String16 name) { return file_open(id, name, OPEN_UPDATE); }
ObjectId file_create(ObjectId id, String16 name) { return file_open(id, name, OPEN_CREATE); }

void file_close(ObjectId id) {
    if (id == OBJECT_ANY) return;
    FileObject* file = file_lookup(id);
    if (!file) return;
    file_buffer_flush(file);
    mem_free(file->buffer);
    std::fclose(file->stream);
    registry_free(files, id);
}

int32_t file_eof(ObjectId id) {
    FileObject* file = file_lookup(id);
    if (!file) return 0;
    if (file->buffer) return file_buffer_ready(file) == 0 ? 1 : 0;
    // Unbuffered: peek one byte, so that the end shows before a read meets it,
    // as it does with a buffer.
    enter_reading(file);
    int c = std::fgetc(file->stream);
    if (c == EOF) return 1;
    std::ungetc(c, file->stream);
    return 0;
}

int32_t file_flush_checked(ObjectId id) {
    FileObject* file = file_lookup(id);
    if (!file) return 0;
    file_buffer_flush(file);
    if (std::fflush(file->stream) != 0 || std::ferror(file->stream)) file->write_failed = 1;
    return file->write_failed ? 0 : 1;
}

int32_t file_buffer_ready(FileObject* file) {
    enter_reading(file);
    if (!file->buffer) return 0;
    if (file->count == 0) {
        auto got = static_cast<int32_t>(
            std::fread(file->buffer, 1, static_cast<size_t>(file->buffer_size), file->stream));
        file->count = got;
        file->fill = got;
    }
    return file->count;
}

int32_t file_buffer_flush(FileObject* file) {
    if (file->reading || !file->buffer) return 0;
    int32_t pending = file->buffer_size - file->count;
    file->count = file->buffer_size;
    return pending > 0 ? write_stream(file, file->buffer, pending) : 0;
}

int32_t file_buffer_read(FileObject* file, void* destination, int32_t n) {
    if (n <= 0) return 0;
    enter_reading(file);
    auto* out = static_cast<char*>(destination);
    if (!file->buffer) return static_cast<int32_t>(std::fread(out, 1, static_cast<size_t>(n), file->stream));
    int32_t available = file->count;
    const char* from = file->buffer + file->fill - available;
    if (n <= available) {
        std::memcpy(out, from, static_cast<size_t>(n));
        file->count = available - n;
        return n;
    }
    if (available > 0) std::memcpy(out, from, static_cast<size_t>(available));
    file->count = 0;
    int32_t rest = n - available;
    if (rest >= file->buffer_size) {
        // Too big for the buffer: straight into the destination.
        return available + static_cast<int32_t>(std::fread(out + available, 1, static_cast<size_t>(rest), file->stream));
    }
    int32_t got = file_buffer_ready(file);
    int32_t take = rest < got ? rest : got;
    if (take > 0) std::memcpy(out + available, file->buffer, static_cast<size_t>(take));
    file->count = got - take;
    return available + take;
}

int32_t file_buffer_write(FileObject* file, const void* source, int32_t n) {
    if (n <= 0) return 0;
    enter_writing(file);
    if (!file->buffer) return write_stream(file, source, n);
    // A piece that exactly fills the free space flushes first, so the buffer
    // is never completely full.
    if (file->count <= n) {
        file_buffer_flush(file);
        if (n >= file->buffer_size) return write_stream(file, source, n);
    }
    std::memcpy(file->buffer + file->buffer_size - file->count, source, static_cast<size_t>(n));
    file->count -= n;
    return n;
}
