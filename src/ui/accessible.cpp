#include "accessible.h"

#include <QKeySequence>
#include <QLabel>
#include <QShortcut>
#include <QStringList>
#include <QTabWidget>

namespace vardex::ui {

QString SpokenText(const QString& caption) {
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        // "&&" is a literal ampersand; a single one marks the mnemonic.
        if (caption[i] == u'&' && i + 1 < caption.size()) {
            ++i;
        }
        text.append(caption[i]);
    }
    text = text.trimmed();
    while (text.endsWith(u':')) {
        text.chop(1);
        text = text.trimmed();
    }
    return text;
}

QString ComposedName(std::initializer_list<QString> parts) {
    QStringList spoken;
    for (const QString& part : parts) {
        const QString text = SpokenText(part);
        if (!text.isEmpty()) {
            spoken.append(text);
        }
    }
    return spoken.join(QStringLiteral(", "));
}

void NameControl(QWidget* control, std::initializer_list<QString> parts, QLabel* label) {
    control->setAccessibleName(ComposedName(parts));
    if (label != nullptr) {
        label->setBuddy(control);
    }
}

void DescribeControl(QWidget* control, std::initializer_list<QString> parts) {
    control->setAccessibleDescription(ComposedName(parts));
}

void SetTabOrder(const std::vector<QWidget*>& controls) {
    for (std::size_t i = 1; i < controls.size(); ++i) {
        QWidget::setTabOrder(controls[i - 1], controls[i]);
    }
}

void InstallPageKeys(QWidget* window, QTabWidget* tabs) {
    const struct {
        QKeySequence keys;
        int step;
    } moves[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Tab), 1},
        {QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1},
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1},
        {QKeySequence(Qt::CTRL | Qt::Key_Backtab), -1},
        {QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1},
    };
    for (const auto& move : moves) {
        auto* shortcut = new QShortcut(move.keys, window);
        QObject::connect(shortcut, &QShortcut::activated, tabs, [tabs, step = move.step] {
            const int count = tabs->count();
            if (count > 1) {
                tabs->setCurrentIndex((tabs->currentIndex() + step + count) % count);
            }
        });
    }
}

}  // namespace vardex::ui
