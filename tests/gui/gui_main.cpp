// The GUI tests run headless: the platform is chosen before the application
// object exists (the build lists the tests by running this binary).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

#include "temp_files.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt keeps a runtime folder; without one of the run's own it leaves one in
    // the temporary folder for good.
    const vardex::test::ScopedTempDir runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    // The window keeps its size in the settings folder: the run's own.
    const vardex::test::ScopedTempDir config;
    ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
