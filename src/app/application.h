// The Qt side of the application object: it owns the core application object
// (the device copy and the working record, whose channel is the only one) and
// runs start-up: the command line, the title, the sheet run modally. The
// program ends when the sheet closes.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "params/app_core.h"

namespace vardex::ui {

class CPropSheet;

// The command line: every word goes to ParseParam, which uses none of them, so
// no word (file names, switches, the toolkit's own options) changes anything.
class AppCommandLineInfo {
public:
    virtual ~AppCommandLineInfo() = default;
    virtual void ParseParam(const QString& word, bool flag, bool last);
    int WordsSeen() const { return words_seen_; }

private:
    int words_seen_ = 0;
};
// Splits the words after the program's name and hands each to info.
void ParseCommandLine(const QStringList& arguments, AppCommandLineInfo& info);

// "varDex Configuration Manager  -  ver. 3.3 ".
QString MainWindowTitle();

class CVarDexApplication {
public:
    CVarDexApplication() = default;
    CVarDexApplication(const CVarDexApplication&) = delete;
    CVarDexApplication& operator=(const CVarDexApplication&) = delete;

    params::CVarDexConfigurationManagerApp& Core() { return core_; }

    // Start-up and the whole run: parses arguments (the program's name first),
    // builds the sheet, runs it modally and returns once it has closed.
    // before_run, when given, sees the sheet before it is shown.
    int InitInstance(const QStringList& arguments,
                     const std::function<void(CPropSheet&)>& before_run = {});

private:
    params::CVarDexConfigurationManagerApp core_;
};

}  // namespace vardex::ui
