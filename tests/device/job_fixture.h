// Shared set-up of the job tests: image files, a simulated varDex opened as a
// search would leave it, and a job view that chooses a file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "device_fixture.h"
#include "pty_device.h"
#include "temp_files.h"

namespace vardex::test {

// Writes bytes to a fresh file in the test's own temporary folder.
inline std::string WriteTempFile(const std::string& name, const std::string& bytes) {
    const std::string path = TempPath(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// Bytes that differ from block to block and are never all 0xFF.
inline std::string PatternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + i / 128) & 0x7F);
    }
    return bytes;
}

// What a receiver must end up with: the image, then 0xFF up to the next block
// boundary, and one more block of fill when the size is a multiple of 128.
inline std::string WithFill(const std::string& image) {
    return image + std::string(128 - image.size() % 128, '\xFF');
}

class FileChoosingView : public ScriptedJobView {
public:
    std::string file;
    std::string caption = "Communicating With varDex";
    bool ChooseOpenFile(const std::string&, const std::string&, std::string* path) override {
        *path = file;
        return !file.empty();
    }
    void SetCaption(const std::string& text) override {
        caption = text;
        ScriptedJobView::SetCaption(text);
    }
    std::string GetCaption() const override { return caption; }
};

class SimJobTest : public ::testing::Test {
protected:
    explicit SimJobTest(double scale = kDeviceTestScale) : scale_(scale) {}

    void Start(sim::DeviceOptions options = {}) {
        device_ = std::make_unique<sim::PtyDevice>(std::move(options));
        platform::SysError error;
        ASSERT_TRUE(device_->Start(&error)) << error.Message();
        ASSERT_EQ(W().Line().OpenPort(device_->Path(), 115200), link::OpenResult::kOk);
        W().Line().SelectDirectPort(device_->Path());
    }

    params::CDeviceConfig& W() { return app_.m_workingRecord; }
    params::CDeviceConfig& D() { return app_.m_deviceCopy; }

    ScopedTimeScale scale_;
    std::unique_ptr<sim::PtyDevice> device_;
    params::CVarDexConfigurationManagerApp app_;
};

}  // namespace vardex::test
