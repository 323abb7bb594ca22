// A drop-down list that changes only by a deliberate choice from its opened
// list. A plain combo box also changes on the mouse wheel passing over it and
// on the arrow keys while it is closed; where a choice sends a command to the
// device (a profile recall), or is kept for the next apply, that is a command
// nobody asked for.
#pragma once

#include <QComboBox>

namespace vardex::ui {

class CChoiceList : public QComboBox {
public:
    explicit CChoiceList(QWidget* parent = nullptr);

protected:
    // The wheel scrolls whatever holds the list, never the choice.
    void wheelEvent(QWheelEvent* event) override;
    // Keys that would change a closed list's choice open the list instead; the
    // choice is then made there, with Enter or a click.
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace vardex::ui
