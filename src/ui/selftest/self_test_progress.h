// The self-test dialog: one hardware test runs on the runner's worker thread
// while this dialog shows its banners, progress and back-panel picture and
// takes the person's Yes, No and Cancel.
//
// Threading: every ISelfTestView call comes from the worker and is handed to
// the GUI thread and waited for, so no widget is touched from the worker. The
// worker's end is posted, never waited for. Cancel sends the device's reset
// sequence, which waits for replies: it runs on a thread of its own while the
// dialog stays responsive and says it is stopping. The dialog ends only when
// the worker (and a running Cancel) have ended; Enter, OK and the window's
// close never end it early. A test that ended because the device went away
// says so in a message over the dialog before it ends.
#pragma once

#include <QColor>
#include <QIcon>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "selftest/self_test.h"
#include "ui/dialog.h"

namespace vardex::link {
class CDevicePort;
}

class QLabel;
class QProgressBar;
class QPushButton;

namespace vardex::ui {

class CColorStatic;

class CSelfTestProgress : public CDialog, public selftest::ISelfTestView {
public:
    static constexpr int IDC_PICTURE = 1036;
    static constexpr int IDC_PROGRESS = 1037;
    static constexpr int IDC_NAME = 1038;
    static constexpr int IDC_DESCRIPTION = 1039;
    static constexpr int IDC_PROMPT = 1040;
    static constexpr int IDC_YES = 6;
    static constexpr int IDC_NO = 7;
    static constexpr int IDC_CANCEL = 2;

    static inline const QColor kAlarmText{255, 0, 0};
    static inline const QColor kAlarmBackground{255, 255, 0};

    // port: the working record's channel, which outlives the dialog.
    explicit CSelfTestProgress(link::CDevicePort& port, QWidget* parent = nullptr);
    ~CSelfTestProgress() override;

    // Runs test (0..6) on the analog ports of the mask, modally; TEST_PASS,
    // TEST_FAIL, or TEST_INTERRUPTED (also when the test could not start).
    // m_strErrors then holds the fault texts. Once per dialog.
    selftest::TestResult RunTest(int test, int ports);

    std::string m_strErrors;
    int m_nTest = 0;
    int m_nPorts = 0;

    // Tests: makes the runner (to see a worker that cannot start); the
    // ordinary runner when empty.
    using RunnerFactory = std::function<std::unique_ptr<selftest::CSelfTestRunner>(
        selftest::ISelfTestView&, link::CDevicePort&)>;
    static void SetRunnerFactory(RunnerFactory factory);
    CColorStatic* NameBanner() const { return name_; }
    CColorStatic* PromptBanner() const { return prompt_; }
    QPushButton* YesButton() const { return yes_; }
    QPushButton* NoButton() const { return no_; }
    QPushButton* CancelButton() const { return cancel_; }
    // Cancel was pressed and the test has not ended yet.
    bool Stopping() const { return stopping_; }
    // After RunTest: the test ended because the device went away, which the
    // person has been told.
    bool DeviceGone() const { return runner_->LinkLost(); }
    // The picture shown, for the tests.
    selftest::TestPicture Shown() const { return shown_; }

    // ---- ISelfTestView (worker thread) ----
    void SetCaption(const std::string& text) override;
    void SetNameText(const std::string& text) override;
    void SetPromptText(const std::string& text) override;
    void SetDescriptionText(const std::string& text) override;
    void SetYesCaption(const std::string& text) override;
    void EnableAnswers(bool enable) override;
    void ShowAnswers(bool show_yes, bool show_no) override;
    void SetPicture(selftest::TestPicture picture) override;
    void SetProgressRange(int upper) override;
    void SetProgressPos(int position) override;
    void BeginAlarm(const std::string& text) override;
    void EndAlarm() override;
    std::int64_t AlarmDurationMs() const override { return alarm_ms_; }
    void TestEnded(selftest::TestEnd result) override;

protected:
    bool OnInitDialog() override;
    // Enter and the OK command: the test decides when the dialog ends.
    void OnOK() override {}
    // Cancel and Escape: the reset sequence, off the GUI thread.
    void OnCancel() override;
    // Yes and No.
    void OnCommand(int id) override;
    // Alt+F4 and the like: no answer, nothing else.
    void closeEvent(QCloseEvent* event) override;
    // The picture follows the resolution of the screen the window is on.
    void showEvent(QShowEvent* event) override;

private:
    // Yes takes the focus when it is shown and enabled.
    void FocusAnswer();
    void ShowPicture();
    void EndWhenDone();

    std::unique_ptr<selftest::CSelfTestRunner> runner_;
    CColorStatic* name_;
    CColorStatic* prompt_;
    CColorStatic* description_;
    QProgressBar* progress_;
    QLabel* picture_;
    QPushButton* yes_;
    QPushButton* no_;
    QPushButton* cancel_;
    QIcon pictures_[3];
    selftest::TestPicture shown_ = selftest::TestPicture::kFirstSocket;
    bool follows_screen_ = false;
    std::int64_t alarm_ms_ = 2000;

    // GUI thread only.
    std::thread stopper_;
    bool stopping_ = false;
    bool stopper_done_ = false;
    bool worker_ended_ = false;
    selftest::TestEnd end_value_ = selftest::TestEnd::kInterrupted;
    QString alarm_saved_text_;
    QColor alarm_saved_text_color_;
    QColor alarm_saved_background_;
};

}  // namespace vardex::ui
