// Line reading and string writing against the standard library plus ICU
// doing the same work: each line read into a string variable, and a note
// written whole as UTF-8.
#include <benchmark/benchmark.h>
#include <unicode/ustring.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "runtime/file/files.h"
#include "runtime/text/encoding.h"

namespace {

constexpr int64_t BIG_FILE_BYTES = 50 << 20;
constexpr int32_t NOTE_UNITS = 1 << 20;

// A temp folder with the 50 MiB file of 60-byte lines, made once and
// removed at exit.
struct Fixture {
    std::string folder;
    std::string lines_path;
    std::u16string lines_name;
    std::string out_path;
    std::u16string out_name;
    std::u16string note;

    Fixture() {
        strings_start();
        files_start();
        char pattern[] = "/tmp/papyro-bench-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        folder = pattern;
        lines_path = folder + "/lines.txt";
        // The note goes to memory where it can, so that both sides are timed
        // on their own work rather than on the disk's journal.
        out_path = (access("/dev/shm", W_OK) == 0 ? "/dev/shm/" + folder.substr(5) : folder) + "-note.txt";
        lines_name = to_name(lines_path);
        out_name = to_name(out_path);

        // 59 bytes of text (one two-byte character among them) and an LF.
        std::string line = "Ligne de note, caf\xC3\xA9 au lait, 0123456789 abcdefghijklmn";
        line.resize(59, '.');
        line += '\n';
        std::string block;
        while (block.size() < (1 << 20)) block += line;
        std::ofstream out(lines_path, std::ios::binary);
        for (int64_t written = 0; written < BIG_FILE_BYTES; written += static_cast<int64_t>(block.size()))
            out << block;

        // A 1 MiB note: mostly ASCII prose with some accented letters and line ends.
        const std::u16string words = u"Une note \xE9" u"crite \xE0 la main, puis relue.\n";
        while (note.size() < static_cast<size_t>(NOTE_UNITS)) note += words;
        note.resize(NOTE_UNITS);
    }
    ~Fixture() {
        std::remove(out_path.c_str());
        std::string command = "rm -rf '" + folder + "'";
        if (system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", folder.c_str());
    }
    static std::u16string to_name(const std::string& path) {
        char16_t* converted = utf8_to_string_alloc(path.c_str());
        std::u16string name = converted;
        free(converted);
        return name;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void read_lines_papyro(benchmark::State& state) {
    Fixture& f = fixture();
    StringVar line = nullptr;
    for (auto _ : state) {
        if (!file_open_read(0, f.lines_name.c_str())) state.SkipWithError("cannot open");
        while (!file_eof(0)) {
            int32_t start = scratch.pos;
            file_read_line(0, start);
            scratch_assign(&line, start);
        }
        file_close(0);
        benchmark::DoNotOptimize(line);
    }
    str_assign(&line, nullptr);
    state.SetBytesProcessed(state.iterations() * BIG_FILE_BYTES);
}

void read_lines_getline_icu(benchmark::State& state) {
    Fixture& f = fixture();
    std::string bytes;
    std::vector<UChar> line(64);
    for (auto _ : state) {
        std::ifstream in(f.lines_path, std::ios::binary);
        while (std::getline(in, bytes)) {
            if (line.size() <= bytes.size()) line.resize(bytes.size() + 1);
            int32_t length = 0;
            UErrorCode error = U_ZERO_ERROR;
            u_strFromUTF8(line.data(), static_cast<int32_t>(line.size()), &length, bytes.data(),
                          static_cast<int32_t>(bytes.size()), &error);
            benchmark::DoNotOptimize(line.data());
        }
    }
    state.SetBytesProcessed(state.iterations() * BIG_FILE_BYTES);
}

void write_note_papyro(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        if (!file_create(0, f.out_name.c_str())) state.SkipWithError("cannot create");
        benchmark::DoNotOptimize(file_write_string(0, f.note.c_str(), TEXT_UTF8));
        file_close(0);
    }
    state.SetBytesProcessed(state.iterations() * NOTE_UNITS);
}

void write_note_icu(benchmark::State& state) {
    Fixture& f = fixture();
    const auto units = static_cast<int32_t>(f.note.size());
    for (auto _ : state) {
        FILE* out = std::fopen(f.out_path.c_str(), "w+");
        if (!out) state.SkipWithError("cannot create");
        // Room for the worst case, so one conversion pass does.
        std::unique_ptr<char[]> bytes(new char[static_cast<size_t>(units) * 3]);
        int32_t length = 0;
        UErrorCode error = U_ZERO_ERROR;
        u_strToUTF8(bytes.get(), units * 3, &length, reinterpret_cast<const UChar*>(f.note.data()), units, &error);
        benchmark::DoNotOptimize(std::fwrite(bytes.get(), 1, static_cast<size_t>(length), out));
        std::fclose(out);
    }
    state.SetBytesProcessed(state.iterations() * NOTE_UNITS);
}

}  // namespace

BENCHMARK(read_lines_papyro)->Name("read_lines:papyro")->Unit(benchmark::kMillisecond);
BENCHMARK(read_lines_getline_icu)->Name("read_lines:getline_icu")->Unit(benchmark::kMillisecond);
BENCHMARK(write_note_papyro)->Name("write_note:papyro")->Unit(benchmark::kMicrosecond);
BENCHMARK(write_note_icu)->Name("write_note:icu")->Unit(benchmark::kMicrosecond);
