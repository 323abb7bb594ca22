// vardex-config: the configuration manager's window.
#include <QApplication>
#include <QStringList>

#include "application.h"
#include "ui/message_box.h"

int main(int argc, char** argv) {
    QStringList words;
    for (int i = 0; i < argc; ++i) {
        words << QString::fromLocal8Bit(argv[i]);
    }
    // The toolkit sees only the program's name: no word of the command line
    // may change what the program does, the toolkit's own options included.
    int qt_argc = 1;
    QApplication qt(qt_argc, argv);
    QApplication::setApplicationName(vardex::ui::AppName());
    QApplication::setDesktopFileName(QStringLiteral("vardex-config"));
    // The records outlive the window and close the channel last.
    static vardex::ui::CVarDexApplication app;
    return app.InitInstance(words);
}
