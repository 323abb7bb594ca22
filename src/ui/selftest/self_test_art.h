// The self test's pictures from the program's resources, each with its
// high-DPI renderings, so that a screen scaled by 2 or 3 gets sharp pixels.
#pragma once

#include <QIcon>
#include <QString>

namespace vardex::ui {

// name: "port1", "port2", "no_phone", "not_tested", "passed", "failed",
// "interrupted".
QIcon SelfTestArt(const QString& name);

}  // namespace vardex::ui
