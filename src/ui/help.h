// The program's help: one HTML page per topic, shipped as resources and shown in
// an in-program help window (Information 4, Telephony 5, Connection 6, Terminal 7,
// Self Test 8, X.25 properties 9).
#pragma once

#include <functional>

#include <QString>
#include <QTextBrowser>
#include <QWidget>

namespace vardex::ui {

inline constexpr int kHelpInformation = 4;
inline constexpr int kHelpTelephony = 5;
inline constexpr int kHelpConnection = 6;
inline constexpr int kHelpTerminal = 7;
inline constexpr int kHelpSelfTest = 8;
inline constexpr int kHelpX25 = 9;

// "qrc:/help/topic4.html" for topic 4; an empty URL for a topic without a page.
QString HelpTopicUrl(int topic);

// The help window: the contents list beside the page of the topic asked for.
// It belongs to the window the person works in, so that a modal one leaves it
// usable and keeps it above; Escape closes it.
class HelpWindow : public QWidget {
public:
    explicit HelpWindow(QWidget* owner = nullptr);
    void ShowTopic(int topic);
    int Topic() const { return topic_; }
    QTextBrowser* Browser() const { return browser_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTextBrowser* browser_;
    int topic_ = 0;
};

// Opens the help window (one for the whole program) at topic over the window
// the person works in (the active modal one first), and raises it. GUI thread
// only. Returns the window.
HelpWindow* OpenHelp(int topic);
// The help window when it has been opened, else null.
HelpWindow* CurrentHelpWindow();

// F1 inside widget, and its context menu, open topic.
void InstallContextHelp(QWidget* widget, int topic);
// F1 anywhere else in window opens the topic asked of topic() at that moment.
void InstallSheetHelp(QWidget* window, std::function<int()> topic);

}  // namespace vardex::ui
