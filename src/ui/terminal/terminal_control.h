// A small terminal on the device's channel: every key goes to the device as
// one raw byte, and the screen shows only what the device sends, green on black,
// the last 24 lines of an 80-column screen. The text never changes from the
// keyboard or the mouse; it comes only from the reader.
#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QSize>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "terminal/terminal_keys.h"
#include "terminal/terminal_reader.h"

namespace vardex::link {
class CDevicePort;
}

namespace vardex::ui {

class CTerminalControl : public QPlainTextEdit {
public:
    static constexpr int kColumns = 80;
    static constexpr int kLines = 24;
    // The widest the text may be; a wider font gets fewer columns.
    static constexpr int kMaxTextWidth = 560;

    explicit CTerminalControl(QWidget* parent = nullptr);
    ~CTerminalControl() override;
    CTerminalControl(const CTerminalControl&) = delete;
    CTerminalControl& operator=(const CTerminalControl&) = delete;

    // The colours; the setters repaint when redraw is set and return the
    // previous colour.
    QColor SetTextColor(QColor color, bool redraw = true);
    QColor SetBkColor(QColor color, bool redraw = true);
    QColor GetTextColor() const { return text_color_; }
    QColor GetBkColor() const { return bk_color_; }

    // The channel the keys go to and the reader reads. Once, before the reader
    // first starts; without it keys go nowhere and no reader runs.
    void SetPort(link::CDevicePort* port);

    // Starts the reader on the channel (or keeps one that is still leaving):
    // after it exactly one reader runs.
    void StartReader();
    // Stops the reader and waits, bounded, for it to leave, then closes the log;
    // true when none runs any more. The channel is the caller's afterwards. A
    // reader also ends by itself when the channel closes (the device vanished).
    bool StopReader();
    bool ReaderRunning() const;
    // Reader threads begun so far (checks).
    unsigned ReadersStarted() const;

    // Tests: called on the GUI thread when a failed write closed the log.
    std::function<void()> m_onLogFailed;

    bool OpenLog(const std::string& path);
    void CloseLog();
    bool IsLogOpen() const;

    // Tests and the benchmark: called after every screen update.
    std::function<void()> m_onScreenUpdated;
    // The screen's lines as shown, the caret's line last.
    QStringList ScreenLines() const;

    // Columns that fit kMaxTextWidth in the current font, and the size of the
    // control that shows kLines of them with the caret after the last column.
    int Columns() const;
    QSize ScreenSize() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool canInsertFromMimeData(const QMimeData*) const override { return false; }
    void insertFromMimeData(const QMimeData*) override {}

private:
    class Feed;
    // Applies a run of updates to the shown text.
    void ShowUpdates(std::vector<terminal::ScreenUpdate> updates);
    void ApplyColors();
    void FitToFont();
    int LineHeight() const;
    void PutCaretAtEnd();
    // Sends the key's byte, if any, to the device.
    void SendKey(terminal::TerminalKey key, char32_t character);

    QColor text_color_{0, 255, 0};
    QColor bk_color_{0, 0, 0};
    link::CDevicePort* port_ = nullptr;
    // The sink before the reader: the reader calls it until it is gone.
    std::unique_ptr<Feed> feed_;
    std::unique_ptr<terminal::CTerminalReader> reader_;
};

}  // namespace vardex::ui
