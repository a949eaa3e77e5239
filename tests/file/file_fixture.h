// A fresh folder per test, with helpers to make fixture files and to name
// them as String16.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <string>

#include "runtime/file/files.h"
#include "runtime/text/encoding.h"
#include "tests/support/temp_folder.h"

class FileFolder : public ::testing::Test {
protected:
    void SetUp() override {
        static bool started = false;
        if (!started) {
            strings_start();
            files_start();
            started = true;
        }
        ASSERT_FALSE(folder_.path().empty());
    }
    void TearDown() override {
        files_end();
        file_force_unbuffered(0);
    }

    std::string path(const std::string& leaf) const { return folder_.path(leaf); }

    // The String16 name of a file in the folder; lives as long as the test.
    String16 name(const std::string& leaf) {
        std::u16string& held = names_.emplace_back();
        char16_t* converted = utf8_to_string_alloc(path(leaf).c_str());
        held = converted;
        free(converted);
        return held.c_str();
    }

    void write_file(const std::string& leaf, const std::string& bytes) const { folder_.write(leaf, bytes); }
    std::string read_file(const std::string& leaf) const { return folder_.read(leaf); }

    xtest::TempFolder folder_{"file"};
    std::deque<std::u16string> names_;  // stable addresses
};

// The next line of file `id` as a std::u16string, through the scratch.
inline std::u16string read_line(ObjectId id) {
    int32_t start = scratch.pos;
    file_read_line(id, start);
    auto* text = reinterpret_cast<const char16_t*>(scratch.base + start);
    std::u16string line(text, static_cast<size_t>(scratch.pos - start) / 2);
    EXPECT_EQ(text[line.size()], 0);
    scratch.pos = start;
    return line;
}

// Names the buffered and unbuffered instances of a test.
inline std::string buffering_name(const ::testing::TestParamInfo<bool>& param) {
    return param.param ? "unbuffered" : "buffered";
}
