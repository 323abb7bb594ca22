#include "self_test_progress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <initializer_list>
#include <system_error>

#include "color_static.h"
#include "link/device_port.h"
#include "res/strings.h"
#include "self_test_art.h"
#include "ui/accessible.h"
#include "ui/gui_call.h"
#include "ui/message_box.h"

using namespace vardex::selftest;
using namespace vardex::link;

namespace vardex::ui {

namespace {

// The back-panel picture keeps its colours while the dialog is disabled for a
// fault flash: the circled socket is what the person needs to see then.
class PanelPicture : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        const QPixmap shown = pixmap();
        if (shown.isNull()) {
            return;
        }
        QRect area(QPoint(0, 0), shown.deviceIndependentSize().toSize());
        area.moveCenter(rect().center());
        QPainter painter(this);
        painter.drawPixmap(area, shown);
    }
};

CSelfTestProgress::RunnerFactory& Factory() {
    static CSelfTestProgress::RunnerFactory factory;
    return factory;
}

std::unique_ptr<CSelfTestRunner> MakeRunner(ISelfTestView& view, CDevicePort& port) {
    if (Factory()) {
        return Factory()(view, port);
    }
    return std::make_unique<CSelfTestRunner>(view, port);
}

// The banners keep one size for every test, so the window never jumps: each is
// as tall as the longest text it can get, wrapped to the banners' width.
int WrappedHeight(const QFont& font, int width, std::initializer_list<QString> texts) {
    const QFontMetrics metrics(font);
    int height = metrics.height();
    for (const QString& text : texts) {
        height = std::max(
            height,
            metrics.boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap, text).height());
    }
    return height;
}

QString Res(int id) {
    return Text(res::LoadString(id));
}

// Two faults of one test joined, as a two-port failure shows them.
QString Joined(int first, int second) {
    return Res(first) + Res(res::IDS_FAULT_SEPARATOR) + Res(second);
}

}  // namespace

void CSelfTestProgress::SetRunnerFactory(RunnerFactory factory) {
    Factory() = std::move(factory);
}

CSelfTestProgress::CSelfTestProgress(CDevicePort& port, QWidget* parent)
    : CDialog(parent),
      runner_(MakeRunner(*this, port)),
      name_(new CColorStatic(this)),
      prompt_(new CColorStatic(this)),
      description_(new CColorStatic(this)),
      progress_(new QProgressBar(this)),
      picture_(new PanelPicture(this)),
      yes_(MakeButton(IDC_YES, Text(res::kTextYes))),
      no_(MakeButton(IDC_NO, Text(res::kTextNo))),
      cancel_(MakeButton(IDC_CANCEL, Text(res::kTextCancel))) {
    // A caption and no close box: the test, not the window, decides the end.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(Text(res::kTextSelfTestCaption));
    SetControlId(name_, IDC_NAME);
    SetControlId(prompt_, IDC_PROMPT);
    SetControlId(description_, IDC_DESCRIPTION);
    SetControlId(progress_, IDC_PROGRESS);
    SetControlId(picture_, IDC_PICTURE);
    name_->setText(Text(res::kTextNameBanner));
    prompt_->setText(Text(res::kTextPromptBanner));
    description_->setText(Text(res::kTextDescriptionBanner));
    for (CColorStatic* banner : {name_, prompt_, description_}) {
        banner->setWordWrap(true);
        banner->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    QFont bold = name_->font();
    bold.setBold(true);
    prompt_->setFont(bold);
    // Enter answers Yes and nothing else: a focused Cancel must not take it
    // over when the worker disables Yes and No.
    for (QPushButton* button : {yes_, no_, cancel_}) {
        button->setAutoDefault(false);
    }
    yes_->setDefault(true);
    progress_->setTextVisible(false);
    progress_->setRange(0, 1);
    progress_->setValue(0);

    pictures_[static_cast<int>(TestPicture::kFirstSocket)] = SelfTestArt(QStringLiteral("port1"));
    pictures_[static_cast<int>(TestPicture::kSecondSocket)] = SelfTestArt(QStringLiteral("port2"));
    pictures_[static_cast<int>(TestPicture::kNoPhone)] = SelfTestArt(QStringLiteral("no_phone"));
    picture_->setFixedSize(48, 48);
    ShowPicture();

    // Sizes in the dialog units of the font: a quarter of the average
    // character's width, an eighth of the line's height.
    const QFontMetrics metrics(name_->font());
    const auto dlu_x = [&](int n) { return n * metrics.averageCharWidth() / 4; };
    const auto dlu_y = [&](int n) { return n * metrics.height() / 8; };
    const int width = dlu_x(180);
    for (QWidget* banner :
         {static_cast<QWidget*>(name_), static_cast<QWidget*>(prompt_),
          static_cast<QWidget*>(description_), static_cast<QWidget*>(progress_)}) {
        banner->setFixedWidth(width);
    }
    name_->setFixedHeight(std::max(
        dlu_y(18),
        WrappedHeight(name_->font(), width,
                      {Res(res::IDS_TEST_IN_PROGRESS), Res(res::IDS_PLUG_PORT1),
                       Res(res::IDS_PLUG_PORT2), Res(res::IDS_PLUG_PORT1_PICKUP),
                       Res(res::IDS_PLUG_PORT2_PICKUP), Text(res::kTextSelfTestStopping)})));
    prompt_->setFixedHeight(std::max(
        dlu_y(11),
        WrappedHeight(bold, width,
                      {Res(res::IDS_PROMPT_RINGING), Res(res::IDS_PROMPT_HANDSET_DOWN),
                       Res(res::IDS_PROMPT_HANDSET_UP), Res(res::IDS_PROMPT_VERIFY_D),
                       Res(res::IDS_PROMPT_VERIFY_INTERBOARD), Res(res::IDS_PROMPT_HEAR_TONE),
                       Res(res::IDS_PROMPT_PRESS_KEY), Res(res::IDS_PROMPT_CHARGING),
                       Res(res::IDS_PROMPT_PICKUP), Res(res::IDS_FAULT_NO_RESPONSE),
                       Joined(res::IDS_FAULT_U_INTERFACE, res::IDS_FAULT_S_INTERFACE),
                       Joined(res::IDS_FAULT_CHARGE1, res::IDS_FAULT_CHARGE2),
                       Joined(res::IDS_FAULT_DTMF1, res::IDS_FAULT_DTMF2)})));
    description_->setFixedHeight(
        std::max(dlu_y(42), WrappedHeight(description_->font(), width,
                                          {Res(res::IDS_DESC_HARDWARE_INTERFACE),
                                           Res(res::IDS_DESC_INTERBOARD), Res(res::IDS_DESC_RING),
                                           Res(res::IDS_DESC_HANDSET), Res(res::IDS_DESC_DIALING),
                                           Res(res::IDS_DESC_TONE), Res(res::IDS_DESC_CHARGING)})));
    progress_->setFixedHeight(dlu_y(14));
    for (QPushButton* button : {yes_, no_, cancel_}) {
        button->setMinimumSize(dlu_x(50), dlu_y(14));
    }
    // Hidden Yes and No keep their place: Cancel stays where the person saw it.
    for (QPushButton* button : {yes_, no_}) {
        QSizePolicy policy = button->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        button->setSizePolicy(policy);
    }

    auto* left = new QVBoxLayout();
    left->addWidget(name_);
    left->addWidget(prompt_);
    left->addWidget(progress_);
    left->addWidget(description_);
    left->addStretch(1);
    auto* right = new QVBoxLayout();
    right->addWidget(yes_);
    right->addWidget(no_);
    right->addWidget(cancel_);
    right->addStretch(1);
    right->addWidget(picture_, 0, Qt::AlignHCenter | Qt::AlignBottom);
    auto* columns = new QHBoxLayout(this);
    columns->addLayout(left);
    columns->addSpacing(dlu_x(7));
    columns->addLayout(right);
    columns->setSizeConstraint(QLayout::SetFixedSize);
}

CSelfTestProgress::~CSelfTestProgress() {
    // Only reached without the joins of the end when the run never started
    // its loop (or threw): nothing may outlive the dialog.
    if (stopper_.joinable()) {
        stopper_.join();
    }
    runner_->Wait();
}

TestResult CSelfTestProgress::RunTest(int test, int ports) {
    m_nTest = test;
    m_nPorts = ports;
    m_strErrors.clear();
    // The window only ends; how the test ended is the runner's word.
    DoModal();
    return CSelfTestRunner::Translate(end_value_);
}

bool CSelfTestProgress::OnInitDialog() {
    CDialog::OnInitDialog();
    stopping_ = false;
    stopper_done_ = false;
    worker_ended_ = false;
    end_value_ = TestEnd::kInterrupted;
    if (!runner_->Start(m_nTest, m_nPorts)) {
        // No worker, no test: ended before the loop starts, as interrupted.
        m_strErrors.clear();
        EndDialog(QDialog::Rejected);
        return false;
    }
    return true;
}

void CSelfTestProgress::OnCommand(int id) {
    if (id == IDC_YES || id == IDC_NO) {
        runner_->Answer(id == IDC_YES);
    }
}

void CSelfTestProgress::closeEvent(QCloseEvent* event) {
    if (Ended()) {
        event->accept();
        return;
    }
    runner_->Close();
    event->ignore();
}

void CSelfTestProgress::showEvent(QShowEvent* event) {
    CDialog::showEvent(event);
    if (!follows_screen_ && windowHandle() != nullptr) {
        follows_screen_ = true;
        connect(windowHandle(), &QWindow::screenChanged, this, [this] { ShowPicture(); });
    }
    ShowPicture();
}

void CSelfTestProgress::OnCancel() {
    if (stopping_ || worker_ended_ || Ended()) {
        return;
    }
    stopping_ = true;
    cancel_->setEnabled(false);
    name_->setText(Text(res::kTextSelfTestStopping));
    try {
        stopper_ = std::thread([this] {
            runner_->Cancel();
            PostToGuiThread(this, [this] {
                stopper_done_ = true;
                EndWhenDone();
            });
        });
    } catch (const std::system_error&) {
        // No thread for the reset: the test still stops at its next check, and
        // its own ending reconnects the ports.
        runner_->m_bCancel.store(1);
        runner_->Close();
        stopper_done_ = true;
    }
}

void CSelfTestProgress::EndWhenDone() {
    if (!worker_ended_ || (stopping_ && !stopper_done_) || Ended()) {
        return;
    }
    // Both posted their end as their last act: these joins are short.
    if (stopper_.joinable()) {
        stopper_.join();
    }
    runner_->Wait();
    m_strErrors = runner_->Errors();
    stopping_ = false;
    if (runner_->LinkLost()) {
        // Said over the test's own window, before it goes.
        AppMessageBox(this, std::string(res::kTextDeviceVanished), MessageIcon::Exclamation);
    }
    EndDialog(QDialog::Accepted);
}

void CSelfTestProgress::ShowPicture() {
    const QIcon& icon = pictures_[static_cast<int>(shown_)];
    picture_->setPixmap(icon.pixmap(QSize(48, 48), devicePixelRatioF()));
    // The picture shows what the prompt asks for: it is read as the prompt.
    NameControl(picture_, {prompt_->text()});
}

// ---- ISelfTestView ----

void CSelfTestProgress::SetCaption(const std::string& text) {
    CallOnGuiThread(this, [&] { setWindowTitle(QString::fromStdString(text)); });
}

void CSelfTestProgress::SetNameText(const std::string& text) {
    CallOnGuiThread(this, [&] {
        // While stopping, the banner keeps saying so.
        if (!stopping_) {
            name_->setText(QString::fromStdString(text));
        }
    });
}

void CSelfTestProgress::SetPromptText(const std::string& text) {
    CallOnGuiThread(this, [&] { prompt_->setText(QString::fromStdString(text)); });
}

void CSelfTestProgress::SetDescriptionText(const std::string& text) {
    CallOnGuiThread(this, [&] { description_->setText(QString::fromStdString(text)); });
}

void CSelfTestProgress::SetYesCaption(const std::string& text) {
    CallOnGuiThread(this, [&] { yes_->setText(QString::fromStdString(text)); });
}

void CSelfTestProgress::EnableAnswers(bool enable) {
    CallOnGuiThread(this, [&] {
        yes_->setEnabled(enable);
        no_->setEnabled(enable);
        FocusAnswer();
    });
}

void CSelfTestProgress::ShowAnswers(bool show_yes, bool show_no) {
    CallOnGuiThread(this, [&] {
        yes_->setVisible(show_yes);
        no_->setVisible(show_no);
        FocusAnswer();
    });
}

void CSelfTestProgress::FocusAnswer() {
    // The focus marks what Enter does: Yes, whenever it can be given.
    if (!yes_->isHidden() && yes_->isEnabled()) {
        yes_->setFocus(Qt::OtherFocusReason);
    }
}

void CSelfTestProgress::SetPicture(TestPicture picture) {
    CallOnGuiThread(this, [&] {
        shown_ = picture;
        ShowPicture();
    });
}

void CSelfTestProgress::SetProgressRange(int upper) {
    CallOnGuiThread(this, [&] {
        // An empty range would turn the bar into a busy indicator.
        progress_->setRange(0, std::max(upper, 1));
        progress_->setValue(0);
    });
}

void CSelfTestProgress::SetProgressPos(int position) {
    CallOnGuiThread(this, [&] { progress_->setValue(position); });
}

void CSelfTestProgress::BeginAlarm(const std::string& text) {
    CallOnGuiThread(this, [&] {
        alarm_saved_text_ = prompt_->text();
        setEnabled(false);
        QApplication::alert(this, 0);
        prompt_->setText(QString::fromStdString(text));
        alarm_saved_text_color_ = prompt_->SetTextColor(kAlarmText, true);
        alarm_saved_background_ = prompt_->SetBkColor(kAlarmBackground, true);
    });
}

void CSelfTestProgress::EndAlarm() {
    CallOnGuiThread(this, [&] {
        prompt_->SetBkColor(alarm_saved_background_, true);
        prompt_->SetTextColor(alarm_saved_text_color_, true);
        setEnabled(true);
        prompt_->setText(alarm_saved_text_);
    });
}

void CSelfTestProgress::TestEnded(TestEnd result) {
    // Posted: the GUI thread joins the worker once this has returned.
    PostToGuiThread(this, [this, result] {
        worker_ended_ = true;
        end_value_ = result;
        EndWhenDone();
    });
}

}  // namespace vardex::ui
