#include "application.h"

#include "prop_sheet.h"
#include "res/strings.h"

namespace vardex::ui {

void AppCommandLineInfo::ParseParam(const QString&, bool, bool) {
    ++words_seen_;
}

void ParseCommandLine(const QStringList& arguments, AppCommandLineInfo& info) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        const bool flag = word.startsWith(QLatin1Char('/')) || word.startsWith(QLatin1Char('-'));
        info.ParseParam(flag ? word.mid(1) : word, flag, i + 1 == arguments.size());
    }
}

QString MainWindowTitle() {
    return QString::fromStdString(
        res::FormatText(res::kTextTitleFormat,
                        {res::LoadString(res::IDS_APP_TITLE), res::LoadString(res::IDS_VERSION)}));
}

int CVarDexApplication::InitInstance(const QStringList& arguments,
                                     const std::function<void(CPropSheet&)>& before_run) {
    AppCommandLineInfo info;
    ParseCommandLine(arguments, info);
    CPropSheet sheet(MainWindowTitle(), core_);
    if (before_run) {
        before_run(sheet);
    }
    sheet.DoModal();
    return 0;
}

}  // namespace vardex::ui
