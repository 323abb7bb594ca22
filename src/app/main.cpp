// vardex-config: the configuration manager's window.
#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstring>

#include "application.h"
#include "platform/environment.h"
#include "ui/message_box.h"
#include "vardex_version.h"

namespace {

// The manual page is made from this text at build time.
constexpr const char* kUsage =
    "usage: vardex-config\n"
    "       vardex-config --help | --version\n"
    "\n"
    "Reads, changes and stores the settings of a varDex ISDN terminal adapter on a\n"
    "serial port or its USB port, and tests it. At start it searches the telephony\n"
    "devices and the serial ports for the varDex and reads every setting; the\n"
    "pages Information, Telephony, Connection, Terminal and Self Test show them.\n"
    "Apply writes the changes to the device.\n"
    "\n"
    "Other words on the command line are ignored.\n"
    "\n"
    "OPTIONS\n"
    "  --help               this text, without starting the window\n"
    "  --version            the program's version, without starting the window\n"
    "\n";

// After the environment.
constexpr const char* kUsageEnd =
    "\n"
    "FILES\n"
    "  /usr/lib/vardex-config/libvardex-tapi.so\n"
    "                       the telephony provider that offers USB modem lines\n"
    "  /usr/lib/udev/rules.d/60-vardex.rules\n"
    "                       gives the person at the seat the USB varDex's port and\n"
    "                       keeps ModemManager away from it\n"
    "\n"
    "SEE ALSO\n"
    "vardexctl(1), vardex-sim(1)\n";

}  // namespace

int main(int argc, char** argv) {
    // Only these two, and only alone: they answer without a window.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
        std::fputs(vardex::platform::env::HelpSection(vardex::platform::env::kConfig).c_str(),
                   stdout);
        std::fputs(kUsageEnd, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("vardex-config %s\n", VARDEX_BUILD_VERSION);
        return 0;
    }
    QStringList words;
    for (int i = 0; i < argc; ++i) {
        words << QString::fromLocal8Bit(argv[i]);
    }
    // The toolkit sees only the program's name: no other word of the command
    // line may change what the program does, the toolkit's own options included.
    int qt_argc = 1;
    QApplication qt(qt_argc, argv);
    QApplication::setApplicationName(vardex::ui::AppName());
    QApplication::setDesktopFileName(QStringLiteral("vardex-config"));
    // The records outlive the window and close the channel last.
    static vardex::ui::CVarDexApplication app;
    return app.InitInstance(words);
}
