#include "help.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <algorithm>

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

HelpWindow::HelpWindow(QWidget* owner)
    : QWidget(owner, Qt::Window), browser_(new QTextBrowser(this)) {
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

void HelpWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
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
    // A modal window blocks every window but its own: the help is made one of
    // them, which also keeps it above.
    QWidget* owner = QApplication::activeModalWidget();
    if (owner == nullptr) {
        owner = QApplication::activeWindow();
    }
    if (owner != nullptr && owner->window() == Instance().data()) {
        owner = Instance()->parentWidget();
    }
    const bool placed = !Instance().isNull() && Instance()->parentWidget() == owner;
    if (Instance().isNull()) {
        Instance() = new HelpWindow(owner);
    } else if (!placed) {
        const bool shown = Instance()->isVisible();
        Instance()->setParent(owner, Qt::Window);
        Instance()->setVisible(shown);
    }
    HelpWindow* window = Instance().data();
    window->ShowTopic(topic);
    if (!placed || !window->isVisible()) {
        // On the owner's screen, over the owner, whole.
        const QScreen* screen = owner != nullptr ? owner->screen() : window->screen();
        if (screen != nullptr) {
            const QRect room = screen->availableGeometry();
            const int title = 2 * window->fontMetrics().height();
            window->resize(std::min(720, room.width() * 9 / 10),
                           std::min(520, room.height() * 9 / 10 - title));
            QRect frame(QPoint(), window->size() + QSize(0, title));
            frame.moveCenter(owner != nullptr ? owner->frameGeometry().center() : room.center());
            frame.moveLeft(
                std::max(room.left(), std::min(frame.left(), room.right() - frame.width())));
            frame.moveTop(
                std::max(room.top(), std::min(frame.top(), room.bottom() - frame.height())));
            window->move(frame.topLeft());
        }
    }
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
