// Temporary files of a test, removed when it ends, and their contents.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

namespace vardex::test {

// The running test's own temporary directory: made on first use and removed,
// with everything in it, when the test ends, whether it passed or not. A listener
// of the test run does the removing; it is added the first time it is needed.
class TestTempDir : public ::testing::EmptyTestEventListener {
public:
    static std::string Path() {
        static TestTempDir* const listener = [] {
            auto* made = new TestTempDir;
            ::testing::UnitTest::GetInstance()->listeners().Append(made);  // takes it over
            return made;
        }();
        return listener->Get();
    }

    void OnTestEnd(const ::testing::TestInfo& /*test*/) override {
        std::lock_guard lock(mutex_);
        if (!dir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
            dir_.clear();
        }
    }

private:
    std::string Get() {
        std::lock_guard lock(mutex_);
        if (dir_.empty()) {
            std::string pattern = ::testing::TempDir() + "/vardex-test-XXXXXX";
            if (::mkdtemp(pattern.data()) != nullptr) {
                dir_ = pattern;
            }
            EXPECT_FALSE(dir_.empty()) << "cannot make a temporary directory";
        }
        return dir_;
    }

    std::mutex mutex_;
    std::string dir_;
};

// A path in the running test's temporary directory.
inline std::string TempPath(const std::string& name) {
    return TestTempDir::Path() + "/" + name;
}

// A directory of the test's own, removed with everything in it when the test
// ends, also when it fails.
class ScopedTempDir {
public:
    ScopedTempDir() {
        std::string pattern = ::testing::TempDir() + "/vardex-test-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
        EXPECT_FALSE(path_.empty()) << "cannot make a temporary directory";
    }
    ~ScopedTempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::string& Path() const { return path_; }
    // The path of name inside it.
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
