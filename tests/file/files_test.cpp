// File objects: opening, closing, and the shared read/write buffer.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/file/file_fixture.h"

namespace {

using Files = FileFolder;

// Buffered and unbuffered files must agree on every byte and position.
class BothPaths : public FileFolder, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        FileFolder::SetUp();
        file_force_unbuffered(GetParam() ? 1 : 0);
    }
    FileObject* open(String16 file_name, int32_t mode) {
        auto* file = reinterpret_cast<FileObject*>(file_open(OBJECT_ANY, file_name, mode));
        EXPECT_NE(file, nullptr);
        if (file) {
            EXPECT_EQ(file->buffer == nullptr, GetParam());
        }
        return file;
    }
};
INSTANTIATE_TEST_SUITE_P(File, BothPaths, ::testing::Values(false, true), buffering_name);

std::string pattern(size_t n) {
    std::string bytes(n, 0);
    for (size_t i = 0; i < n; i++) bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
}

TEST_F(Files, ModesCreateTruncateOrKeep) {
    write_file("kept", "old");
    write_file("cut", "old");
    ASSERT_NE(file_open_update(0, name("kept")), 0);
    ASSERT_NE(file_create(1, name("cut")), 0);
    ASSERT_NE(file_open_update(2, name("new")), 0);
    EXPECT_EQ(file_open_read(3, name("missing")), 0);
    files_end();
    EXPECT_EQ(read_file("kept"), "old");
    EXPECT_EQ(read_file("cut"), "");
    EXPECT_EQ(access(path("new").c_str(), F_OK), 0);
    EXPECT_NE(access(path("missing").c_str(), F_OK), 0);
}

TEST_F(Files, NumberGivesStreamAnyGivesHandle) {
    write_file("f", "x");
    ObjectId stream = file_open_read(0, name("f"));
    ObjectId handle = file_open_read(OBJECT_ANY, name("f"));
    ASSERT_NE(stream, 0);
    ASSERT_NE(handle, 0);
    // The app syncs and sets modes through the stream it is handed.
    EXPECT_GE(fileno(reinterpret_cast<FILE*>(stream)), 0);
    EXPECT_GE(fileno(reinterpret_cast<FileObject*>(handle)->stream), 0);
    EXPECT_EQ(read_line(handle), u"x");
    file_close(handle);
    EXPECT_EQ(file_eof(handle), 0);  // closed handles name nothing
    file_close(OBJECT_ANY);          // does nothing
    EXPECT_EQ(file_eof(0), 0);       // still open, one byte left
}

TEST_F(Files, BadNamesFailInEveryMode) {
    ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);
    write_file("a", "text");
    struct Case {
        const char* what;
        std::u16string name;
    };
    std::u16string folder(name("folder"));
    std::u16string broken(name("a"));
    broken.insert(broken.size() - 1, 1, u'\xD800');  // high surrogate, no low one
    const std::vector<Case> cases = {{"missing", std::u16string(name("nothing/here"))},
                                     {"folder", folder},
                                     {"broken surrogate", broken},
                                     {"empty", u""}};
    for (const Case& c : cases) {
        for (int32_t mode : {OPEN_READ, OPEN_UPDATE, OPEN_CREATE}) {
            SCOPED_TRACE(std::string(c.what) + " mode " + std::to_string(mode));
            EXPECT_EQ(file_open(0, c.name.c_str(), mode), 0);
            EXPECT_EQ(file_open(OBJECT_ANY, c.name.c_str(), mode), 0);
        }
    }
    EXPECT_EQ(file_open(0, nullptr, OPEN_CREATE), 0);
    EXPECT_EQ(file_open(0, name("a"), 7), 0);
    EXPECT_EQ(read_file("a"), "text");
}

TEST_F(Files, NoReadPermission) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    write_file("secret", "x");
    ASSERT_EQ(chmod(path("secret").c_str(), 0), 0);
    EXPECT_EQ(file_open_read(0, name("secret")), 0);
    EXPECT_EQ(file_open_update(0, name("secret")), 0);
}

TEST_F(Files, ReopeningANumberClosesTheOldFileFirst) {
    ASSERT_NE(file_create(0, name("old")), 0);
    ASSERT_EQ(file_write_string(0, u"pending", TEXT_UTF8), 7);
    EXPECT_EQ(read_file("old"), "");  // still in the buffer
    EXPECT_EQ(file_open_read(0, name("missing")), 0);
    EXPECT_EQ(read_file("old"), "pending");
    EXPECT_EQ(file_eof(0), 0);  // nothing open under 0 any more
    EXPECT_EQ(read_line(0), u"");
}

TEST_F(Files, EndOfFileTest) {
    write_file("empty", "");
    write_file("ab", "ab");
    EXPECT_EQ(file_eof(5), 0);  // never opened
    ASSERT_NE(file_open_read(0, name("empty")), 0);
    EXPECT_EQ(file_eof(0), 1);
    ASSERT_NE(file_open_read(1, name("ab")), 0);
    EXPECT_EQ(file_eof(1), 0);
    EXPECT_EQ(file_eof(1), 0);
    EXPECT_EQ(read_line(1), u"ab");  // the peeked byte is still there
    EXPECT_EQ(file_eof(1), 1);
}

TEST_P(BothPaths, EndOfFileShowsBeforeAReadMeetsIt) {
    write_file("a", "a\n");
    ASSERT_NE(file_open_read(0, name("a")), 0);
    EXPECT_EQ(file_eof(0), 0);
    EXPECT_EQ(read_line(0), u"a");
    EXPECT_EQ(file_eof(0), 1);
}

TEST_P(BothPaths, WriteAfterReadLandsAfterTheLastByteHandedOut) {
    write_file("f", "abc");
    FileObject* file = open(name("f"), OPEN_UPDATE);
    char byte = 0;
    ASSERT_EQ(file_buffer_read(file, &byte, 1), 1);
    EXPECT_EQ(byte, 'a');
    ASSERT_EQ(file_buffer_write(file, "X", 1), 1);
    ASSERT_EQ(file_buffer_read(file, &byte, 1), 1);
    EXPECT_EQ(byte, 'c');
    EXPECT_EQ(read_file("f"), "aXc");  // a read puts pending bytes into the file first
    ASSERT_EQ(file_buffer_write(file, "d", 1), 1);
    file_close(reinterpret_cast<ObjectId>(file));
    EXPECT_EQ(read_file("f"), "aXcd");
}

TEST_P(BothPaths, EndOfFileTestLeavesThePositionForAWrite) {
    write_file("f", "abcd");
    FileObject* file = open(name("f"), OPEN_UPDATE);
    auto id = reinterpret_cast<ObjectId>(file);
    EXPECT_EQ(file_eof(id), 0);
    ASSERT_EQ(file_buffer_write(file, "A", 1), 1);
    char byte = 0;
    ASSERT_EQ(file_buffer_read(file, &byte, 1), 1);
    EXPECT_EQ(byte, 'b');
    EXPECT_EQ(file_eof(id), 0);
    ASSERT_EQ(file_buffer_write(file, "C", 1), 1);
    file_close(id);
    EXPECT_EQ(read_file("f"), "AbCd");
}

TEST_P(BothPaths, EndOfFileTestWritesPendingBytes) {
    FileObject* file = open(name("f"), OPEN_CREATE);
    ASSERT_EQ(file_buffer_write(file, "hello", 5), 5);
    EXPECT_EQ(file_eof(reinterpret_cast<ObjectId>(file)), 1);
    EXPECT_EQ(read_file("f"), "hello");
}

TEST_P(BothPaths, ReadsOfEverySizeDeliverTheFileInOrder) {
    const std::string bytes = pattern(30000);
    write_file("f", bytes);
    FileObject* file = open(name("f"), OPEN_READ);
    std::string got;
    // Sizes that hit the buffer's edges: inside it, exactly its size, and
    // remainders above it that bypass it.
    for (int32_t n : {1, 4095, 1, 4096, 2, 9000, 4097, 3, 5000}) {
        std::string piece(static_cast<size_t>(n), 0);
        ASSERT_EQ(file_buffer_read(file, piece.data(), n), n);
        got += piece;
    }
    std::string rest(10000, 0);
    auto left = static_cast<int32_t>(bytes.size() - got.size());
    EXPECT_EQ(file_buffer_read(file, rest.data(), 10000), left);
    got += rest.substr(0, static_cast<size_t>(left));
    EXPECT_EQ(got, bytes);
    EXPECT_EQ(file_buffer_read(file, rest.data(), 1), 0);
}

TEST_P(BothPaths, WritesOfEverySizeReachTheFileInOrder) {
    const std::string bytes = pattern(30000);
    FileObject* file = open(name("f"), OPEN_CREATE);
    size_t at = 0;
    for (int32_t n : {4095, 1, 4096, 10, 5000, 4085, 1, 3}) {
        ASSERT_EQ(file_buffer_write(file, bytes.data() + at, n), n);
        at += static_cast<size_t>(n);
    }
    file_close(reinterpret_cast<ObjectId>(file));
    EXPECT_EQ(read_file("f"), bytes.substr(0, at));
}

TEST_F(Files, BufferIsNeverLeftFull) {
    FileObject* file = reinterpret_cast<FileObject*>(file_create(OBJECT_ANY, name("f")));
    ASSERT_NE(file, nullptr);
    const std::string bytes = pattern(8192);
    ASSERT_EQ(file_buffer_write(file, bytes.data(), 4095), 4095);
    EXPECT_EQ(file->count, 1);
    // Exactly the free space: the pending bytes go out first.
    ASSERT_EQ(file_buffer_write(file, bytes.data(), 1), 1);
    EXPECT_EQ(file->count, FILE_BUFFER_SIZE - 1);
    // A whole buffer's worth goes straight to the stream.
    ASSERT_EQ(file_buffer_write(file, bytes.data(), 4096), 4096);
    EXPECT_EQ(file->count, FILE_BUFFER_SIZE);
}

TEST_F(Files, EndClosesEveryFileWithItsPendingBytes) {
    ASSERT_NE(file_create(3, name("numbered")), 0);
    ObjectId handle = file_create(OBJECT_ANY, name("handle"));
    ASSERT_NE(handle, 0);
    file_write_string(3, u"three", TEXT_UTF8);
    file_write_string(handle, u"any", TEXT_UTF8);
    files_end();
    EXPECT_EQ(read_file("numbered"), "three");
    EXPECT_EQ(read_file("handle"), "any");
    EXPECT_EQ(file_eof(3), 0);
    EXPECT_EQ(file_write_string(3, u"late", TEXT_UTF8), 0);
}

TEST_F(Files, FlushCheckedReportsAFullDisk) {
    EXPECT_EQ(file_flush_checked(0), 0);  // nothing open
    ASSERT_NE(file_create(0, name("f")), 0);
    file_write_string(0, u"fine", TEXT_UTF8);
    EXPECT_EQ(file_flush_checked(0), 1);
    EXPECT_EQ(read_file("f"), "fine");

    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    ASSERT_NE(file_open_update(1, u"/dev/full"), 0);
    // Accepted into the buffer: the count alone cannot tell.
    EXPECT_EQ(file_write_string(1, u"lost", TEXT_UTF8), 4);
    EXPECT_EQ(file_flush_checked(1), 0);
    EXPECT_EQ(file_flush_checked(1), 0);  // sticky
}

}  // namespace
