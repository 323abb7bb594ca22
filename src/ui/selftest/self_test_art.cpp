#include "self_test_art.h"

#include "ui/dialog.h"

namespace vardex::ui {

QIcon SelfTestArt(const QString& name) {
    EnsureResources();
    QIcon icon;
    const QString base = QStringLiteral(":/selftest/") + name;
    icon.addFile(base + QStringLiteral(".png"));
    icon.addFile(base + QStringLiteral("@2x.png"));
    icon.addFile(base + QStringLiteral("@3x.png"));
    return icon;
}

}  // namespace vardex::ui
