#include "help.h"

#include <QAction>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QPointer>

#include "dialog.h"
#include "message_box.h"
#include "res/strings.h"

namespace vardex::ui {

namespace {
struct TopicTitle {
    int topic;
    const char* title;
};
constexpr TopicTitle kTopics[] = {
    {kHelpInformation, "Information"}, {kHelpTelephony, "Telephony"},
    {kHelpConnection, "Connection"},   {kHelpTerminal, "Terminal"},
    {kHelpSelfTest, "Self Test"},      {kHelpX25, "X.25 Properties"},
};

QPointer<HelpWindow>& Instance() {
    static QPointer<HelpWindow> window;
    return window;
}
}  // namespace

QString HelpTopicUrl(int topic) {
    EnsureResources();
    const QString path = QStringLiteral(":/help/topic%1.html").arg(topic);
    if (!QFile::exists(path)) {
        return {};
    }
    return QStringLiteral("qrc") + path;
}

HelpWindow::HelpWindow() : browser_(new QTextBrowser(this)) {
    setWindowTitle(AppName() + Text(res::kTextHelpWindowSuffix));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* contents = new QListWidget(this);
    for (const auto& t : kTopics) {
        auto* item = new QListWidgetItem(QString::fromLatin1(t.title), contents);
        item->setData(Qt::UserRole, t.topic);
    }
    contents->setMaximumWidth(150);
    connect(contents, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { ShowTopic(item->data(Qt::UserRole).toInt()); });
    connect(contents, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ShowTopic(item->data(Qt::UserRole).toInt()); });
    browser_->setOpenLinks(true);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(contents);
    layout->addWidget(browser_, 1);
    resize(720, 520);
}

void HelpWindow::ShowTopic(int topic) {
    const QString url = HelpTopicUrl(topic);
    if (url.isEmpty()) {
        return;
    }
    topic_ = topic;
    browser_->setSource(QUrl(url));
}

HelpWindow* OpenHelp(int topic) {
    if (Instance().isNull()) {
        Instance() = new HelpWindow();
    }
    HelpWindow* window = Instance().data();
    window->ShowTopic(topic);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

HelpWindow* CurrentHelpWindow() {
    return Instance().data();
}

namespace {
// F1 pressed anywhere inside the widget: the controls pass the key on to their
// parents, so the widget sees it last and opens its own topic.
class HelpKeyFilter : public QObject {
public:
    HelpKeyFilter(QObject* parent, std::function<int()> topic)
        : QObject(parent), topic_(std::move(topic)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->key() == Qt::Key_F1) {
            OpenHelp(topic_());
            return true;
        }
        return false;
    }

private:
    std::function<int()> topic_;
};
}  // namespace

void InstallContextHelp(QWidget* widget, int topic) {
    widget->installEventFilter(new HelpKeyFilter(widget, [topic] { return topic; }));
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(widget, &QWidget::customContextMenuRequested, widget,
                     [widget, topic](const QPoint& at) {
                         QMenu menu(widget);
                         menu.addAction(Text(res::kTextHelpOnPage), [topic] { OpenHelp(topic); });
                         menu.exec(widget->mapToGlobal(at));
                     });
}

void InstallSheetHelp(QWidget* window, std::function<int()> topic) {
    // A key a child leaves unhandled travels up to the window, where this sees it.
    window->installEventFilter(new HelpKeyFilter(window, std::move(topic)));
}

}  // namespace vardex::ui
