// The note's settings and text on disk, in a fresh folder per test.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/note.h"
#include "app/program.h"
#include "runtime/file/files.h"
#include "runtime/text/encoding.h"
#include "tests/support/temp_folder.h"

namespace {

std::string utf8(String16 s) {
    char* text = to_utf8_alloc(s);
    std::string result = text;
    utf8_free(text);
    return result;
}

// Gives back the note's strings, then clears the state as the entry does.
void reset_program() {
    NoteState& note = program.note;
    for (StringVar& line : note.settings) str_assign(&line, nullptr);
    str_assign(&note.text, nullptr);
    str_assign(&note.saved_copy, nullptr);
    program = ProgramState{};
}

class NoteFolder : public ::testing::Test {
protected:
    void SetUp() override {
        static bool started = false;
        if (!started) {
            strings_start();
            files_start();
            started = true;
        }
        ASSERT_FALSE(folder_.path().empty());
        ASSERT_EQ(getcwd(previous_, sizeof previous_), previous_);
        ASSERT_EQ(chdir(folder_.path().c_str()), 0);
        reset_program();
    }
    void TearDown() override {
        reset_program();
        ASSERT_EQ(chdir(previous_), 0);
    }
    // The test runs inside the folder: names are relative to it.
    void write_file(const std::string& name, const std::string& bytes) const { folder_.write(name, bytes); }
    std::string read_file(const std::string& name) const { return folder_.read(name); }
    bool exists(const std::string& name) const { return folder_.exists(name); }
    void set_text(const char* text) {
        char16_t* value = utf8_to_string_alloc(text);
        str_assign(&program.note.text, value);
        free(value);
    }

    xtest::TempFolder folder_{"note"};
    char previous_[4096];
};

TEST_F(NoteFolder, SettingsAreReadLineByLine) {
    struct Case {
        const char* ini;
        int32_t x, y, width, height;
        const char* font;
        int32_t size, bold, italic, colour;
    };
    const Case cases[] = {
        {"120\n90\n360\n260\nDejaVu Sans\n12\n1\n0\n0000FF\n", 120, 90, 360, 260, "DejaVu Sans", 12, 1, 0, 0x0000FF},
        {" 120px\r\n$64\r\n%101\r\n-7\r\nMono Bold 30\r\n12.5\r\n2\r\n1\r\nff\r\nextra\r\n", 120, 100, 5, -7,
         "Mono Bold 30", 12, 2, 1, 0xFF},
        {"1\n2\n3\n", 1, 2, 3, 0, "", 0, 0, 0, 0},            // short file: the rest is empty
        {"\xEF\xBB\xBF" "5\n6\n", 0, 6, 0, 0, "", 0, 0, 0, 0},  // a byte-order mark is not a blank
        {"0\n0\n0\n0\nx\n0\n0\n0\n#0000FF\n", 0, 0, 0, 0, "x", 0, 0, 0, 0},
        {"0\n0\n0\n0\nx\n0\n0\n0\n 0000FF\n", 0, 0, 0, 0, "x", 0, 0, 0, 0},
        {"4294967396\n", 100, 0, 0, 0, "", 0, 0, 0, 0},       // the low 32 bits are kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        write_file("papyro.ini", c.ini);
        reset_program();
        note_load_settings();
        const NoteState& note = program.note;
        EXPECT_EQ(note.x, c.x);
        EXPECT_EQ(note.y, c.y);
        EXPECT_EQ(note.width, c.width);
        EXPECT_EQ(note.height, c.height);
        EXPECT_EQ(utf8(note.settings[4]), c.font);
        EXPECT_EQ(note.font_size, c.size);
        EXPECT_EQ(note.bold, c.bold);
        EXPECT_EQ(note.italic, c.italic);
        EXPECT_EQ(note.colour, c.colour);
    }
}

TEST_F(NoteFolder, MissingSettingsGiveZeros) {
    note_load_settings();
    EXPECT_EQ(program.note.width, 0);
    EXPECT_EQ(utf8(program.note.settings[4]), "");
    EXPECT_EQ(program.note.colour, 0);
    EXPECT_EQ(file_eof(NOTE_READ_FILE), 0);  // nothing left open
}

TEST_F(NoteFolder, TextIsLinesJoinedWithLineFeeds) {
    const struct {
        const char* bytes;
        const char* text;
    } cases[] = {
        {"a\nb\n", "a\nb"}, {"a\r\nb", "a\nb"}, {"a\rb\n\n", "a\nb\n"}, {"", ""}, {"\n", ""}, {"\n\n", "\n"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.bytes);
        write_file("text.txt", c.bytes);
        reset_program();
        note_load_text();
        EXPECT_EQ(utf8(program.note.text), c.text);
        EXPECT_EQ(program.note.backup_pending, 0);
    }
    unlink("text.txt");
    note_load_text();
    EXPECT_EQ(utf8(program.note.text), "");
}

TEST_F(NoteFolder, SaveWritesUtf8WithoutMarkOrFinalLineEnd) {
    set_text("a\nb \xE2\x82\xAC\xF0\x9F\x98\x80");
    ASSERT_EQ(save_note(), 1);
    EXPECT_EQ(read_file("text.txt"), "a\nb \xE2\x82\xAC\xF0\x9F\x98\x80");
    set_text("");
    ASSERT_EQ(save_note(), 1);
    EXPECT_TRUE(exists("text.txt"));
    EXPECT_EQ(read_file("text.txt"), "");
    EXPECT_EQ(system("ls -A | grep -v '^text.txt$' | grep -q ."), 256) << "a temporary file was left behind";
}

TEST_F(NoteFolder, SaveKeepsLinksAndPermissions) {
    ASSERT_EQ(mkdir("real", 0755), 0);
    write_file("real/note", "old");
    ASSERT_EQ(chmod("real/note", 0640), 0);
    ASSERT_EQ(symlink("real/note", "text.txt"), 0);
    set_text("new");
    ASSERT_EQ(save_note(), 1);
    struct stat st;
    ASSERT_EQ(lstat("text.txt", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(read_file("real/note"), "new");
    ASSERT_EQ(stat("real/note", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(NoteFolder, FailedSaveKeepsTheOldFileAndSaysSoOnce) {
    ASSERT_EQ(mkdir("text.txt", 0755), 0);  // nothing can be renamed over a folder
    set_text("typed");
    testing::internal::CaptureStderr();
    EXPECT_EQ(save_note(), 0);
    EXPECT_EQ(save_note(), 0);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("text.txt"), std::string::npos);
    EXPECT_EQ(said.find('\n'), said.size() - 1) << said;  // one line for the whole run of failures
    EXPECT_EQ(system("ls -A | grep -v '^text.txt$' | grep -q ."), 256) << "a temporary file was left behind";

    ASSERT_EQ(rmdir("text.txt"), 0);
    EXPECT_EQ(save_note(), 1);
    EXPECT_EQ(read_file("text.txt"), "typed");
}

TEST_F(NoteFolder, UndecodableTextIsKeptBesideBeforeTheFirstSave) {
    static const char raw[] = "caf\xE9 ok\nnul\0byte\n";
    const std::string original(raw, sizeof raw - 1);
    write_file("text.txt", original);
    write_file("text.txt.bak", "an older backup");
    note_load_text();
    EXPECT_EQ(program.note.backup_pending, 1);
    testing::internal::CaptureStderr();
    ASSERT_EQ(save_note(), 1);
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("text.txt.bak.1"), std::string::npos) << said;
    EXPECT_EQ(read_file("text.txt.bak.1"), original);
    EXPECT_EQ(read_file("text.txt.bak"), "an older backup");
    ASSERT_EQ(save_note(), 1);
    EXPECT_FALSE(exists("text.txt.bak.2"));  // one backup per load
}

TEST_F(NoteFolder, EncodedSurrogatesLoadAsReplacementCharacters) {
    // Surrogates written as UTF-8 bytes are not UTF-8; whole pairs stay.
    write_file("text.txt", "a\xED\xA0\x80" "b\xED\xB0\x80" "c\xF0\x9F\x98\x80");
    note_load_text();
    EXPECT_EQ(program.note.backup_pending, 1);
    EXPECT_EQ(utf8(program.note.text), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD" "c\xF0\x9F\x98\x80");
}

}  // namespace
