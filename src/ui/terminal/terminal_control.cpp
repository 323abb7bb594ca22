#include "terminal_control.h"

#include <QAbstractTextDocumentLayout>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "link/device_port.h"
#include "terminal/terminal_keys.h"
#include "ui/gui_call.h"

using namespace vardex::link;

namespace vardex::ui {

// ---- the reader's side ----

// Takes the reader's updates on its thread and hands them to the GUI thread in
// runs: one queued call carries every update that arrived before it ran, so a
// busy line costs one screen change per turn of the event loop, not per chunk.
class CTerminalControl::Feed : public terminal::ITerminalSink {
public:
    explicit Feed(CTerminalControl* control) : control_(control) {}

    void OnScreenUpdate(const terminal::ScreenUpdate& update) override {
        if (update.kind == terminal::ScreenUpdate::Kind::kNone) {
            return;
        }
        std::lock_guard lock(mutex_);
        if (update.kind == terminal::ScreenUpdate::Kind::kReplace) {
            // The new screen makes everything before it moot.
            pending_.clear();
        }
        pending_.push_back(update);
        if (!posted_) {
            posted_ = true;
            PostToGuiThread(control_, [this] { control_->ShowUpdates(Take()); });
        }
    }

    void OnLogFailed() override {
        PostToGuiThread(control_, [this] {
            if (control_->m_onLogFailed) {
                control_->m_onLogFailed();
            }
        });
    }

    std::vector<terminal::ScreenUpdate> Take() {
        std::lock_guard lock(mutex_);
        posted_ = false;
        return std::exchange(pending_, {});
    }

private:
    CTerminalControl* control_;
    std::mutex mutex_;
    std::vector<terminal::ScreenUpdate> pending_;
    bool posted_ = false;
};

namespace {

// Removes count characters (code points) from the end of UTF-8 text.
void EraseCharacters(std::string* text, std::size_t count) {
    while (count > 0 && !text->empty()) {
        std::size_t at = text->size() - 1;
        while (at > 0 && (static_cast<unsigned char>((*text)[at]) & 0xC0) == 0x80) {
            --at;
        }
        text->resize(at);
        --count;
    }
}

}  // namespace

void CTerminalControl::ShowUpdates(std::vector<terminal::ScreenUpdate> updates) {
    using Kind = terminal::ScreenUpdate::Kind;
    if (updates.empty()) {
        return;
    }
    if (updates.front().kind == Kind::kReplace) {
        // The whole screen at once, drawn once.
        std::string text = std::move(updates.front().text);
        for (std::size_t i = 1; i < updates.size(); ++i) {
            EraseCharacters(&text, updates[i].erase);
            text += updates[i].text;
        }
        setUpdatesEnabled(false);
        setPlainText(QString::fromStdString(text));
        PutCaretAtEnd();
        setUpdatesEnabled(true);
        viewport()->update();
    } else {
        QTextCursor cursor(document());
        cursor.beginEditBlock();
        for (const terminal::ScreenUpdate& update : updates) {
            cursor.movePosition(QTextCursor::End);
            if (update.erase > 0) {
                // Never past the start of the last line: the model counted it.
                const int in_line = cursor.positionInBlock();
                cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor,
                                    std::min(in_line, static_cast<int>(update.erase)));
                cursor.removeSelectedText();
            }
            cursor.insertText(QString::fromStdString(update.text));
        }
        cursor.endEditBlock();
        PutCaretAtEnd();
    }
    if (m_onScreenUpdated) {
        m_onScreenUpdated();
    }
}

void CTerminalControl::StartReader() {
    if (reader_ != nullptr) {
        reader_->StartReader();
    }
}

bool CTerminalControl::StopReader() {
    return reader_ == nullptr || reader_->StopReader();
}

bool CTerminalControl::ReaderRunning() const {
    return reader_ != nullptr && reader_->IsRunning();
}

unsigned CTerminalControl::ReadersStarted() const {
    return reader_ != nullptr ? reader_->ThreadsStarted() : 0;
}

bool CTerminalControl::OpenLog(const std::string& path) {
    return reader_ != nullptr && reader_->OpenLog(path);
}

void CTerminalControl::CloseLog() {
    if (reader_ != nullptr) {
        reader_->CloseLog();
    }
}

bool CTerminalControl::IsLogOpen() const {
    return reader_ != nullptr && reader_->IsLogOpen();
}

// ---- the control ----

CTerminalControl::CTerminalControl(QWidget* parent) : QPlainTextEdit(parent) {
    setUndoRedoEnabled(false);
    setAcceptDrops(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The screen model breaks long lines at the 80th column itself.
    setLineWrapMode(QPlainTextEdit::NoWrap);
    // Tab moves the focus on, so the keyboard can leave the terminal.
    setTabChangesFocus(true);
    document()->setDocumentMargin(2);
    setFocusPolicy(Qt::StrongFocus);
    ApplyColors();
    FitToFont();
}

CTerminalControl::~CTerminalControl() {
    // The reader object waits for its thread; the sink goes after it.
    reader_.reset();
}

QColor CTerminalControl::SetTextColor(QColor color, bool redraw) {
    const QColor previous = text_color_;
    text_color_ = color;
    ApplyColors();
    if (redraw) {
        viewport()->update();
    }
    return previous;
}

QColor CTerminalControl::SetBkColor(QColor color, bool redraw) {
    const QColor previous = bk_color_;
    bk_color_ = color;
    ApplyColors();
    if (redraw) {
        viewport()->update();
    }
    return previous;
}

void CTerminalControl::ApplyColors() {
    QPalette p = palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Base, bk_color_);
        p.setColor(group, QPalette::Window, bk_color_);
        p.setColor(group, QPalette::Text, text_color_);
        // Nothing is ever selected, but a selection must not hide the text.
        p.setColor(group, QPalette::Highlight, text_color_);
        p.setColor(group, QPalette::HighlightedText, bk_color_);
    }
    setPalette(p);
}

void CTerminalControl::SetPort(CDevicePort* port) {
    if (port_ != nullptr || port == nullptr) {
        return;
    }
    port_ = port;
    feed_ = std::make_unique<Feed>(this);
    reader_ = std::make_unique<terminal::CTerminalReader>(*port_, *feed_);
}

int CTerminalControl::Columns() const {
    const QFontMetrics metrics(font());
    const int w = std::max(1, std::min(metrics.averageCharWidth(), metrics.maxWidth()));
    return kColumns * w <= kMaxTextWidth ? kColumns : kMaxTextWidth / w;
}

int CTerminalControl::LineHeight() const {
    // The height the editor's own layout gives a line, which may exceed the
    // font's line spacing by the rounding of its ascent and descent. Asking for
    // the block's box lays it out (the box itself also holds the margins).
    const QTextBlock first = document()->firstBlock();
    document()->documentLayout()->blockBoundingRect(first);
    int measured = 0;
    if (first.layout() != nullptr && first.layout()->lineCount() > 0) {
        measured = static_cast<int>(std::ceil(first.layout()->lineAt(0).height()));
    }
    return std::max(measured, QFontMetrics(font()).lineSpacing());
}

QSize CTerminalControl::ScreenSize() const {
    const QFontMetrics metrics(font());
    const int w = std::max(1, std::min(metrics.averageCharWidth(), metrics.maxWidth()));
    // The frame and the document's margin on both sides, and room for the caret
    // after a full line.
    const int edge = 2 * (frameWidth() + static_cast<int>(document()->documentMargin()));
    return {Columns() * w + edge + w, kLines * LineHeight() + edge};
}

void CTerminalControl::FitToFont() {
    const QFontMetrics metrics(font());
    setCursorWidth(std::max(1, std::min(metrics.averageCharWidth(), metrics.maxWidth())));
    setFixedSize(ScreenSize());
}

void CTerminalControl::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        FitToFont();
    }
}

void CTerminalControl::focusInEvent(QFocusEvent* event) {
    QPlainTextEdit::focusInEvent(event);
    if (size() != ScreenSize()) {
        FitToFont();
    }
    PutCaretAtEnd();
}

void CTerminalControl::PutCaretAtEnd() {
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    ensureCursorVisible();
}

// ---- keyboard and mouse ----

void CTerminalControl::SendKey(terminal::TerminalKey key, char32_t character) {
    if (port_ != nullptr) {
        terminal::SendKey(*port_, key, character);
    }
}

void CTerminalControl::keyPressEvent(QKeyEvent* event) {
    using terminal::TerminalKey;
    switch (event->key()) {
        case Qt::Key_Backspace:
            SendKey(TerminalKey::kBackspace, 0);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            SendKey(TerminalKey::kEnter, 0);
            return;
        case Qt::Key_Cancel:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Escape:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_End:
        case Qt::Key_Home:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Delete:
            return;
        case Qt::Key_F1:
            // Help is the page's: the key travels on to it.
            event->ignore();
            return;
        default:
            break;
    }
    // One byte per key, the first character's; one outside Latin-1 sends
    // nothing rather than part of its encoding.
    const QList<uint> text = event->text().toUcs4();
    if (!text.isEmpty()) {
        SendKey(TerminalKey::kCharacter, static_cast<char32_t>(text.front()));
    }
}

void CTerminalControl::keyReleaseEvent(QKeyEvent* event) {
    event->accept();
}

void CTerminalControl::inputMethodEvent(QInputMethodEvent* event) {
    // Composed text would edit the screen; the screen is the device's alone.
    event->accept();
}

void CTerminalControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !hasFocus()) {
        setFocus(Qt::MouseFocusReason);
    }
    event->accept();
}

void CTerminalControl::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void CTerminalControl::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}

void CTerminalControl::mouseMoveEvent(QMouseEvent* event) {
    // No button press reached the editor, so a move selects nothing.
    event->accept();
}

void CTerminalControl::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
}

// ---- the screen ----

QStringList CTerminalControl::ScreenLines() const {
    QStringList lines;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        lines << block.text();
    }
    return lines;
}

}  // namespace vardex::ui
