#include "accessible.h"

#include <QAbstractButton>
#include <QGroupBox>
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

QChar AccessKeyOf(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] == u'&') {
            if (caption[i + 1] != u'&') {
                return caption[i + 1].toLower();
            }
            ++i;
        }
    }
    return {};
}

namespace {

QString CaptionOf(const QWidget* w) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    if (const auto* box = qobject_cast<const QGroupBox*>(w)) {
        return box->title();
    }
    return {};
}

void SetCaption(QWidget* w, const QString& caption) {
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(caption);
    } else if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(caption);
    } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
        box->setTitle(caption);
    }
}

}  // namespace

std::vector<QWidget*> CaptionedControls(const QWidget* root) {
    std::vector<QWidget*> controls;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (w->window() != root->window() || CaptionOf(w).isEmpty()) {
            continue;
        }
        const auto* label = qobject_cast<const QLabel*>(w);
        const auto* box = qobject_cast<const QGroupBox*>(w);
        if ((label != nullptr &&
             (label->buddy() == nullptr || label->textFormat() == Qt::RichText)) ||
            (box != nullptr && !box->isCheckable())) {
            continue;
        }
        controls.push_back(w);
    }
    return controls;
}

std::set<QChar> KeysIn(const std::vector<QWidget*>& controls) {
    std::set<QChar> keys;
    for (const QWidget* w : controls) {
        const QChar key = AccessKeyOf(CaptionOf(w));
        if (!key.isNull()) {
            keys.insert(key);
        }
    }
    return keys;
}

QString WithAccessKey(const QString& caption, std::set<QChar>& taken) {
    if (!AccessKeyOf(caption).isNull()) {
        taken.insert(AccessKeyOf(caption));
        return caption;
    }
    const auto free_at = [&](bool word_start) -> qsizetype {
        for (qsizetype i = 0; i < caption.size(); ++i) {
            const QChar c = caption[i];
            if (c.isLetterOrNumber() && c.unicode() < 0x80 && !taken.contains(c.toLower()) &&
                (!word_start || i == 0 || !caption[i - 1].isLetterOrNumber())) {
                return i;
            }
        }
        return -1;
    };
    qsizetype at = free_at(true);
    if (at < 0) {
        at = free_at(false);
    }
    if (at < 0) {
        return caption;
    }
    taken.insert(caption[at].toLower());
    QString marked = caption;
    marked.insert(at, u'&');
    return marked;
}

void GiveAccessKeys(const std::vector<QWidget*>& controls, std::set<QChar>& taken) {
    const std::set<QChar> marked = KeysIn(controls);
    taken.insert(marked.begin(), marked.end());
    for (QWidget* w : controls) {
        const QString caption = CaptionOf(w);
        const QString keyed = WithAccessKey(caption, taken);
        if (keyed != caption) {
            SetCaption(w, keyed);
        }
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
