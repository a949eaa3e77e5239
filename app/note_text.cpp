// The note's settings and text on disk.
//
// papyro.ini is only read. text.txt is read as UTF-8 lines joined with LF and
// written back whole after every change. A save never puts the old text at
// risk: the new text goes to a temporary file beside text.txt, is flushed to
// disk and renamed over it, so text.txt always holds one whole text. When the
// load had to drop bytes (text.txt was not valid UTF-8), the original file is
// kept as text.txt.bak before anything overwrites it.
#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/note.h"
#include "app/program.h"
#include "runtime/file/files.h"
#include "runtime/text/encoding.h"

namespace {

constexpr char TEXT_FILE[] = "text.txt";

// The original bytes of a text.txt that did not load whole, until a backup
// of them exists.
char* original_bytes = nullptr;
gsize original_length = 0;

int32_t low32(int64_t value) { return static_cast<int32_t>(value); }

void read_line_into(StringVar* var) {
    int32_t start = scratch.pos;
    file_read_line(NOTE_READ_FILE, start);
    scratch_assign(var, start);
}

bool write_all(int fd, const char* bytes, size_t length) {
    while (length > 0) {
        ssize_t n = write(fd, bytes, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool sync_folder(const std::string& folder) {
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync a folder
    close(fd);
    return ok;
}

std::string folder_of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a save replaces: text.txt itself, or the file it links to, so
// that a link stays a link.
std::string save_target() {
    struct stat st;
    if (lstat(TEXT_FILE, &st) != 0 || !S_ISLNK(st.st_mode)) return TEXT_FILE;
    if (char* real = realpath(TEXT_FILE, nullptr)) {
        std::string target = real;
        free(real);
        return target;
    }
    // A dangling link: its text names the file to create, relative to here.
    char link[4096];
    ssize_t n = readlink(TEXT_FILE, link, sizeof link - 1);
    if (n <= 0) return TEXT_FILE;
    return std::string(link, static_cast<size_t>(n));
}

mode_t mode_for(const std::string& target) {
    struct stat st;
    if (stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Writes the original bytes as text.txt.bak, or .bak.1, .bak.2, ... when
// that exists. Never replaces a file.
bool keep_original() {
    std::string name = std::string(TEXT_FILE) + ".bak";
    for (int n = 1; n < 1000; n++) {
        int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0 && errno == EEXIST) {
            name = std::string(TEXT_FILE) + ".bak." + std::to_string(n);
            continue;
        }
        if (fd < 0) break;
        bool ok = write_all(fd, original_bytes, original_length) && fsync(fd) == 0;
        ok = close(fd) == 0 && ok;
        if (!ok) {
            unlink(name.c_str());
            break;
        }
        fprintf(stderr, "papyro: %s was not valid UTF-8; its original bytes are kept in %s\n", TEXT_FILE,
                name.c_str());
        g_free(original_bytes);
        original_bytes = nullptr;
        program.note.backup_pending = 0;
        return true;
    }
    fprintf(stderr, "papyro: %s was not valid UTF-8 and no backup of it could be written: %s\n", TEXT_FILE,
            strerror(errno));
    return false;
}

// Notes whether text.txt holds bytes that the load could not keep: invalid
// UTF-8 or NUL bytes.
void check_original() {
    gchar* bytes = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(TEXT_FILE, &bytes, &length, nullptr)) return;
    if (g_utf8_validate(bytes, static_cast<gssize>(length), nullptr)) {
        g_free(bytes);
        return;
    }
    original_bytes = bytes;
    original_length = length;
    program.note.backup_pending = 1;
}

// Bytes that were not valid UTF-8 can decode to lone surrogates, which no
// UTF-8 text for the editor can hold: such a unit would empty the note. It
// shows as U+FFFD instead; the original bytes are kept in the backup.
void replace_lone_surrogates(StringVar text) {
    int32_t length = str_len(text);
    for (int32_t i = 0; i < length; i++) {
        char16_t unit = text[i];
        bool high = unit >= 0xD800 && unit <= 0xDBFF;
        bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (high && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            i++;  // a whole pair
        } else if (high || low) {
            text[i] = 0xFFFD;
        }
    }
}

// Writes the text to a new file beside `target` through the file layer and
// makes it durable; false with errno set when anything fails.
bool write_temporary(const std::string& temporary, String16 text, mode_t mode) {
    StringVar name = utf8_to_string_alloc(temporary.c_str());
    // A name that does not survive the round trip would open another file.
    char* back = to_utf8_alloc(name);
    bool same_name = temporary == back;
    utf8_free(back);
    if (!same_name) {
        free(name);
        errno = EILSEQ;
        return false;
    }
    auto* stream = reinterpret_cast<FILE*>(file_create(NOTE_WRITE_FILE, name));
    free(name);
    if (!stream) return false;
    int32_t expected = wide_to_bytes(CODEPAGE_UTF8, 0, text, str_len(text), nullptr, 0, 0, 0);
    bool ok = fchmod(fileno(stream), mode) == 0;
    ok = ok && file_write_string(NOTE_WRITE_FILE, text, TEXT_UTF8) == expected;
    ok = ok && file_flush_checked(NOTE_WRITE_FILE) && fsync(fileno(stream)) == 0;
    int saved_errno = ok ? 0 : (errno ? errno : EIO);
    file_close(NOTE_WRITE_FILE);
    errno = saved_errno;
    return ok;
}

void report_failure(const std::string& target, int error) {
    NoteState& note = program.note;
    if (!note.save_failing)
        fprintf(stderr, "papyro: cannot save %s: %s; will retry after the next change or event\n",
                target.c_str(), strerror(error));
    note.save_failing = 1;
}

}  // namespace

void note_load_settings() {
    NoteState& note = program.note;
    file_open_read(NOTE_READ_FILE, u"papyro.ini");
    for (StringVar& line : note.settings) read_line_into(&line);
    file_close(NOTE_READ_FILE);

    note.x = low32(str_to_number(note.settings[0]));
    note.y = low32(str_to_number(note.settings[1]));
    note.width = low32(str_to_number(note.settings[2]));
    note.height = low32(str_to_number(note.settings[3]));
    note.font_size = low32(str_to_number(note.settings[5]));
    note.bold = low32(str_to_number(note.settings[6]));
    note.italic = low32(str_to_number(note.settings[7]));

    int32_t start = scratch.pos;
    scratch_append(u"$");
    scratch_append(note.settings[8]);
    scratch_assign(&note.settings[8], start);
    note.colour = low32(str_to_number(note.settings[8]));
}

void note_load_text() {
    NoteState& note = program.note;
    str_assign(&note.text, u"");
    if (!file_open_read(NOTE_READ_FILE, u"text.txt")) return;
    // Every line and its LF are built in place in the scratch, so a long
    // note costs one pass, not one copy of the whole text per line.
    int32_t start = scratch.pos;
    while (!file_eof(NOTE_READ_FILE)) {
        file_read_line(NOTE_READ_FILE, scratch.pos);
        scratch_append(u"\n");
    }
    file_close(NOTE_READ_FILE);
    if (scratch.pos > start) {  // drop the LF after the last line
        scratch.pos -= 2;
        *reinterpret_cast<char16_t*>(scratch.base + scratch.pos) = 0;
    }
    scratch_assign(&note.text, start);
    check_original();
    if (note.backup_pending) replace_lone_surrogates(note.text);
}

int32_t save_note() {
    NoteState& note = program.note;
    if (note.backup_pending && !keep_original()) return 0;
    std::string target = save_target();
    std::string folder = folder_of(target);
    size_t slash = target.rfind('/');
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = (folder == "." ? "" : folder + "/") + "." + base + ".XXXXXX";

    int fd = mkstemp(temporary.data());
    if (fd < 0) {
        report_failure(target, errno);
        return 0;
    }
    close(fd);
    bool ok = write_temporary(temporary, note.text, mode_for(target)) &&
              rename(temporary.c_str(), target.c_str()) == 0;
    int error = errno;
    if (!ok) {
        unlink(temporary.c_str());
        report_failure(target, error);
        return 0;
    }
    sync_folder(folder);
    note.save_failing = 0;
    return 1;
}
