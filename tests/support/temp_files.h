// Temporary files of a test: paths apart per process, and their contents.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vardex::test {

// Named by process, so that tests running at the same time keep apart.
inline std::string TempName(const std::string& name) {
    return std::to_string(::getpid()) + "-" + name;
}
inline std::string TempPath(const std::string& name) {
    return ::testing::TempDir() + "/" + TempName(name);
}

// A directory of the test's own, removed with all it holds when the object
// goes, also after a failure.
class ScopedTempDir {
public:
    ScopedTempDir() : path_(TempPath("XXXXXX")) {
        if (::mkdtemp(path_.data()) == nullptr) {
            path_.clear();
        }
    }
    ~ScopedTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Everything written to a temporary file so far.
inline std::string Written(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        text.append(buffer, n);
    }
    return text;
}

}  // namespace vardex::test
