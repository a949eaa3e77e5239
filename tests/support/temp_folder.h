// A fresh folder under /tmp for one test, removed with everything in it when
// the test ends, and the small file helpers tests use on it.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace xtest {

class TempFolder {
public:
    explicit TempFolder(const std::string& tag) {
        std::string pattern = "/tmp/papyro-" + tag + "-XXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempFolder() {
        if (path_.empty()) return;
        // Tests take permissions away; give them back so that all can go.
        std::string command = "chmod -R u+rwx '" + path_ + "' && rm -rf '" + path_ + "'";
        if (std::system(command.c_str()) != 0) return;
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Empty when the folder could not be made.
    const std::string& path() const { return path_; }
    std::string path(const std::string& leaf) const { return path_ + "/" + leaf; }

    void write(const std::string& leaf, const std::string& bytes) const {
        std::ofstream(path(leaf), std::ios::binary) << bytes;
    }
    std::string read(const std::string& leaf) const {
        std::ifstream in(path(leaf), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool exists(const std::string& leaf) const { return access(path(leaf).c_str(), F_OK) == 0; }

private:
    std::string path_;
};

}  // namespace xtest
