#include "about_dialog.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "res/strings.h"
#include "ui/accessible.h"
#include "vardex_version.h"

namespace vardex::ui {

CAboutDialog::CAboutDialog(QWidget* parent) : CDialog(parent) {
    setWindowTitle(Text(res::kTextAboutCaption));
    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/vardex.png")).pixmap(48, 48));
    auto* name = new QLabel(Text(res::LoadString(res::IDS_APP_TITLE)), this);
    NameControl(icon, {name->text()});
    auto* version = new QLabel(this);
    SetControlId(version, IDC_VERSION);
    version->setTextFormat(Qt::PlainText);
    auto* build = new QLabel(this);
    SetControlId(build, IDC_BUILD);
    build->setTextFormat(Qt::PlainText);
    auto* text = new QVBoxLayout();
    text->addWidget(name);
    text->addWidget(version);
    text->addWidget(build);
    auto* top = new QHBoxLayout();
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    QPushButton* ok = MakeButton(kOkButton, Text(res::kTextOk));
    ok->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

bool CAboutDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    Item<QLabel>(IDC_VERSION)
        ->setText(Text(
            res::FormatText(res::kTextAboutVersionFormat, {res::LoadString(res::IDS_VERSION)})));
    Item<QLabel>(IDC_BUILD)->setText(
        Text(res::FormatText(res::kTextAboutBuildFormat, {VARDEX_BUILD_VERSION})));
    return true;
}

}  // namespace vardex::ui
