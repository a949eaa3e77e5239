// The bmp2ppm tool run as a program: the PPM it writes, its one-line failure
// reports, and that a failure leaves the output untouched.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/image/bmp_builder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using bmp_test::Bytes;

struct Outcome {
    int status = -1;
    std::string error;  // what the tool printed on stderr
};

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

class Bmp2ppm : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/bmp2ppm_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    Outcome run(std::vector<std::string> args) {
        fs::path err = dir_ / "stderr.txt";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        args.insert(args.begin(), BMP2PPM);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        Outcome r;
        pid_t pid;
        int wait_status = 0;
        if (posix_spawn(&pid, BMP2PPM, &actions, nullptr, argv.data(), environ) == 0 &&
            waitpid(pid, &wait_status, 0) == pid && WIFEXITED(wait_status))
            r.status = WEXITSTATUS(wait_status);
        posix_spawn_file_actions_destroy(&actions);
        r.error = read_text(err);
        fs::remove(err);
        return r;
    }

    // Only the files the test put there, so no temporary output was left.
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

// One line that names the file: "bmp2ppm: FILE: reason\n".
void expect_report(const Outcome& r, const std::string& file) {
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.error.rfind("bmp2ppm: " + file + ": ", 0), 0u) << r.error;
    EXPECT_EQ(std::count(r.error.begin(), r.error.end(), '\n'), 1) << r.error;
    EXPECT_EQ(r.error.back(), '\n');
}

TEST_F(Bmp2ppm, WritesBinaryPpmTopRowFirst) {
    bmp_test::BmpLayout layout;
    layout.width = 2;
    layout.height = 2;
    layout.pixels = bmp_test::padded_rows({{255, 0, 0, 0, 255, 0}, {0, 0, 255, 255, 255, 255}});
    Bytes bmp = bmp_test::make_bmp(layout);
    write_file(dir_ / "in.bmp", std::string(bmp.begin(), bmp.end()));
    Outcome r = run({dir_ / "in.bmp", dir_ / "out.ppm"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(read_text(dir_ / "out.ppm"), std::string("P6\n2 2\n255\n"
                                                       "\xFF\x00\x00\xFF\xFF\xFF"
                                                       "\x00\x00\xFF\x00\xFF\x00",
                                                       23));
    EXPECT_EQ(listing(), (std::vector<std::string>{"in.bmp", "out.ppm"}));
}

TEST_F(Bmp2ppm, FailuresReportOneLineAndLeaveTheOutputAlone) {
    write_file(dir_ / "text.bmp", "this is not an image");
    write_file(dir_ / "out.ppm", "keep");
    bmp_test::BmpLayout layout;
    Bytes bmp = bmp_test::make_bmp(layout);
    write_file(dir_ / "good.bmp", std::string(bmp.begin(), bmp.end()));
    struct Case {
        std::string in, out, named;
    };
    const std::string missing_dir_out = dir_ / "no" / "out.ppm";
    for (const Case& c : {Case{dir_ / "absent.bmp", dir_ / "out.ppm", dir_ / "absent.bmp"},
                          Case{dir_ / "text.bmp", dir_ / "out.ppm", dir_ / "text.bmp"},
                          Case{dir_.string(), dir_ / "out.ppm", dir_.string()},
                          Case{dir_ / "good.bmp", missing_dir_out, missing_dir_out}}) {
        SCOPED_TRACE(c.in + " -> " + c.out);
        expect_report(run({c.in, c.out}), c.named);
        EXPECT_EQ(read_text(dir_ / "out.ppm"), "keep");
    }
    EXPECT_EQ(listing(), (std::vector<std::string>{"good.bmp", "out.ppm", "text.bmp"}));
}

TEST_F(Bmp2ppm, WrongArgumentCountIsAFailure) {
    Outcome r = run({"only-one"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::count(r.error.begin(), r.error.end(), '\n'), 1);
}

TEST_F(Bmp2ppm, SuiteBadAndQuestionableFilesConvertOrReport) {
    const fs::path suite = BMPSUITE_DIR;
    if (!fs::exists(suite / "MANIFEST.tsv")) GTEST_SKIP() << "BMP suite not found at " << suite;
    for (const char* set : {"b", "q"}) {
        for (const auto& file : fs::directory_iterator(suite / set)) {
            SCOPED_TRACE(file.path().string());
            fs::path out = dir_ / "out.ppm";
            Outcome r = run({file.path(), out});
            if (r.status == 0) {
                std::string ppm = read_text(out);
                int width = 0, height = 0, consumed = 0;
                ASSERT_EQ(sscanf(ppm.c_str(), "P6\n%d %d\n255\n%n", &width, &height, &consumed), 2);
                EXPECT_EQ(ppm.size(), size_t(consumed) + size_t(width) * height * 3);
                EXPECT_EQ(r.error, "");
            } else {
                expect_report(r, file.path());
                EXPECT_FALSE(fs::exists(out));
            }
            fs::remove(out);
            EXPECT_TRUE(listing().empty());
        }
    }
}

}  // namespace
