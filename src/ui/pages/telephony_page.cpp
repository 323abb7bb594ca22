#include "telephony_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <functional>
#include <vector>

#include "params/app_core.h"
#include "params/telephony_rules.h"
#include "res/strings.h"
#include "ui/accessible.h"
#include "ui/choice_list.h"
#include "ui/help.h"
#include "ui/message_box.h"

using namespace vardex::params;

namespace vardex::ui {

namespace {

constexpr int kLlcLengthMax = 3;
constexpr int kFlashLengthMax = 3;
constexpr int kFskLengthMax = 2;

// Refuses, as it is typed or pasted, every character the port's numbers may
// not hold and every character beyond the device's length.
class CMsnValidator : public QValidator {
public:
    CMsnValidator(QObject* parent, bool dte) : QValidator(parent), dte_(dte) {}
    State validate(QString& input, int&) const override {
        return params::MsnAllowed(input.toStdString(), dte_) ? Acceptable : Invalid;
    }

private:
    bool dte_;
};

// Radio buttons of one group under layout; a click is a settings change.
void AddRadios(CTelephonyPage* page, QWidget* parent, QVBoxLayout* layout,
               std::initializer_list<std::pair<int, std::string_view>> radios,
               const std::function<void()>& changed) {
    for (const auto& [id, caption] : radios) {
        auto* radio = new QRadioButton(Text(caption), parent);
        SetControlId(radio, id);
        QObject::connect(radio, &QRadioButton::clicked, page, changed);
        layout->addWidget(radio);
    }
}

// "caption [edit][arrows] unit" in a row of its own; the edit and its arrows
// are named after the caption.
QHBoxLayout* NumberRow(QWidget* parent, std::string_view caption, QLineEdit* edit,
                       CSpinButton* spin, std::string_view unit) {
    auto* row = new QHBoxLayout();
    auto* label = new QLabel(Text(caption), parent);
    NameControl(edit, {label->text()}, label);
    spin->NameAfterBuddy();
    row->addWidget(label);
    row->addWidget(edit);
    row->addWidget(spin);
    if (!unit.empty()) {
        row->addWidget(new QLabel(Text(unit), parent));
    }
    row->addStretch(1);
    return row;
}

using P = CTelephonyPage;
using R = CDeviceConfig;

constexpr int kServiceProtocolIds[] = {P::IDC_FUNCTIONAL, P::IDC_KEYPAD};
constexpr int kCallerIdIds[] = {P::IDC_BETWEEN_RINGS, P::IDC_PRIOR_TO_RINGING};

// A subscriber number: the analog ports' are one array, three to a port.
constexpr FieldBinding Msn(int port, int row) {
    if (port == 2) {
        return {P::kNumberIds[port][row], &R::m_strDteMsn, Exchange::kText,
                static_cast<std::size_t>(row)};
    }
    return {P::kNumberIds[port][row], &R::m_strPhoneMsn, Exchange::kText,
            static_cast<std::size_t>(port * 3 + row)};
}

constexpr FieldBinding Llc(int port, int octet) {
    return {P::kLlcIds[port][octet], &R::m_byModemLlc, Exchange::kNumber,
            static_cast<std::size_t>(port) * CDeviceConfig::kLlcOctets +
                static_cast<std::size_t>(octet)};
}

// The page's controls and their fields, in the order of the exchange: a
// failing value's message is the first one's.
constexpr FieldBinding kBindings[] = {
    Msn(0, 0),
    Msn(0, 1),
    Msn(0, 2),
    Msn(1, 0),
    Msn(1, 1),
    Msn(1, 2),
    Msn(2, 0),
    Msn(2, 1),
    Msn(2, 2),
    // The "D" boxes: the page sets each port's own number from them.
    {P::kOwnIds[0][0], &R::m_nOwnNumber1, Exchange::kNone, 0, P::kOwnIds[0]},
    {P::kOwnIds[1][0], &R::m_nOwnNumber2, Exchange::kNone, 0, P::kOwnIds[1]},
    {P::kOwnIds[2][0], &R::m_nOwnNumberDte, Exchange::kNone, 0, P::kOwnIds[2]},
    {P::IDC_FUNCTIONAL, &R::m_nServiceProtocol, Exchange::kRadio, 0, kServiceProtocolIds},
    {P::IDC_METERING1, &R::m_bMeteringPulse1},
    {P::IDC_METERING2, &R::m_bMeteringPulse2},
    {P::IDC_CALL_WAITING1, &R::m_bCallWaiting1},
    {P::IDC_CALL_WAITING2, &R::m_bCallWaiting2},
    {P::IDC_DCB1, &R::m_bDelayedClearBack1},
    {P::IDC_DCB2, &R::m_bDelayedClearBack2},
    {P::IDC_EMERGENCY, &R::m_bFullEmergencyMode},
    {P::IDC_CLIP, &R::m_bClip},
    {P::IDC_CLIP_ON_CW1, &R::m_bClipOnCw1},
    {P::IDC_CLIP_ON_CW2, &R::m_bClipOnCw2},
    {.id = P::IDC_FLASH,
     .member = &R::m_nFlashDuration,
     .exchange = Exchange::kLimited,
     .flash_minimum = true},
    {P::IDC_BETWEEN_RINGS, &R::m_nCallerIdTiming, Exchange::kRadio, 0, kCallerIdIds},
    {P::IDC_NO_MLPPP1, &R::m_bNoIncomingMlppp1},
    {P::IDC_NO_MLPPP2, &R::m_bNoIncomingMlppp2},
    {P::IDC_FSK, &R::m_nFskLevel, Exchange::kLimited},
    {P::IDC_CLIR1, &R::m_bClir1},
    {P::IDC_CLIR2, &R::m_bClir2},
    {P::IDC_COLR1, &R::m_bColr1},
    {P::IDC_COLR2, &R::m_bColr2},
    {P::IDC_MWI1, &R::m_bMessageWaiting1},
    {P::IDC_MWI2, &R::m_bMessageWaiting2},
    {P::IDC_TERMINAL1, &R::m_nTerminalType1, Exchange::kList},
    {P::IDC_TERMINAL2, &R::m_nTerminalType2, Exchange::kList},
    Llc(0, 0),
    Llc(0, 1),
    Llc(0, 2),
    Llc(1, 0),
    Llc(1, 1),
    Llc(1, 2),
    // The captions of the terminals and of their octets.
    {P::IDC_TERMINAL_LABEL, &R::m_nTerminalType1, Exchange::kNone},
    {P::IDC_LLC_LABEL, &R::m_byModemLlc, Exchange::kNone},
};

constexpr int kTerminalIds[CDeviceConfig::kLlcPorts] = {P::IDC_TERMINAL1, P::IDC_TERMINAL2};

}  // namespace

// ---- CPortPicture ----

CPortPicture::CPortPicture(QWidget* parent, int id, Kind kind, const QString& name)
    : QWidget(parent), kind_(kind) {
    SetControlId(this, id);
    setAccessibleName(name);
    setMinimumSize(sizeHint());
}

void CPortPicture::paintEvent(QPaintEvent*) {
    // The colours of the device picture on the Information page.
    const QColor body(0xeb, 0xeb, 0xe6);
    const QColor line(0x3c, 0x3c, 0x3c);
    const QColor dark(0x5a, 0x5a, 0x5a);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 96 x 60 grid, scaled into the widget keeping its shape.
    const double scale = std::min(width() / 96.0, height() / 60.0);
    p.translate((width() - 96 * scale) / 2, (height() - 60 * scale) / 2);
    p.scale(scale, scale);
    p.setPen(QPen(line, 1.6));
    if (kind_ == Kind::kPhone) {
        // The set, its keypad and the handset lying on it.
        p.setBrush(body);
        p.drawPolygon(QPolygonF({{22, 56}, {28, 26}, {68, 26}, {74, 56}}));
        p.setBrush(dark);
        p.setPen(Qt::NoPen);
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                p.drawRoundedRect(QRectF(38 + c * 7.5, 32 + r * 7, 5, 4.5), 1, 1);
            }
        }
        p.setPen(QPen(line, 1.6));
        QPainterPath handset;
        handset.moveTo(14, 24);
        handset.cubicTo(14, 8, 82, 8, 82, 24);
        handset.lineTo(70, 26);
        handset.cubicTo(66, 18, 30, 18, 26, 26);
        handset.closeSubpath();
        p.setBrush(dark);
        p.drawPath(handset);
    } else {
        // A screen on its stand and a keyboard.
        p.setBrush(body);
        p.drawRoundedRect(QRectF(22, 4, 52, 36), 3, 3);
        p.setBrush(QColor(0x46, 0x78, 0xa0));
        p.drawRect(QRectF(27, 9, 42, 26));
        p.setBrush(body);
        p.drawRect(QRectF(44, 40, 8, 6));
        p.drawPolygon(QPolygonF({{18, 56}, {24, 48}, {72, 48}, {78, 56}}));
        p.setPen(QPen(dark, 1.2));
        p.drawLine(QPointF(27, 52), QPointF(69, 52));
    }
}

// ---- CTelephonyPage ----

CTelephonyPage::CTelephonyPage(ISheetHost& host)
    : CRecordPage(Text(res::kTextPageTelephony), kHelpTelephony, kBindings), host_(host) {
    auto* grid = new QGridLayout(this);
    grid->setVerticalSpacing(3);
    grid->setHorizontalSpacing(18);

    // Row 0: the column headings.
    const std::pair<std::string_view, int> headings[3] = {{res::kTextAnalogPort1, IDC_HEADING_P1},
                                                          {res::kTextAnalogPort2, IDC_HEADING_P2},
                                                          {res::kTextDtePort, IDC_HEADING_DTE}};
    for (int port = 0; port < 3; ++port) {
        headings_[port] = new QLabel(Text(headings[port].first), this);
        SetControlId(headings_[port], headings[port].second);
        grid->addWidget(headings_[port], 0, port, Qt::AlignLeft);
    }

    // The tab order goes down each port's column, then the operational settings.
    std::vector<QWidget*> columns[3];

    // Rows 1..3: a subscriber number and its "D" box in each column.
    const std::string_view captions[3] = {res::kTextSubscriberNumber1, res::kTextSubscriberNumber2,
                                          res::kTextSubscriberNumber3};
    for (int row = 0; row < 3; ++row) {
        for (int port = 0; port < 3; ++port) {
            auto* cell = new QWidget(this);
            auto* v = new QVBoxLayout(cell);
            v->setContentsMargins(0, 0, 0, 0);
            v->setSpacing(1);
            auto* caption = new QLabel(Text(captions[row]), cell);
            v->addWidget(caption);
            auto* h = new QHBoxLayout();
            auto* edit = new QLineEdit(cell);
            const QString port_name = Text(headings[port].first);
            NameControl(edit, {caption->text(), port_name}, caption);
            SetControlId(edit, kNumberIds[port][row]);
            edit->setMaxLength(params::kMsnLengthMax);
            edit->setValidator(new CMsnValidator(edit, port == 2));
            // Only the person's own edits count: loading the controls changes nothing.
            connect(edit, &QLineEdit::textEdited, this,
                    [this, port, row] { OnNumberEdited(port, row); });
            own_[port][row] = CheckBox(cell, kOwnIds[port][row], res::kTextOwnNumberBox);
            connect(own_[port][row], &QCheckBox::clicked, this,
                    [this, port, row] { OnOwnNumberClicked(port, row); });
            NameControl(own_[port][row],
                        {Text(res::kTextOwnNumberBox), caption->text(), port_name});
            columns[port].insert(columns[port].end(), {edit, own_[port][row]});
            h->addWidget(edit, 1);
            h->addWidget(own_[port][row]);
            v->addLayout(h);
            grid->addWidget(cell, 1 + row, port);
        }
    }

    // The analog ports' services: the caption beside the first port's box.
    grid->addWidget(SectionLabel(this, res::kTextSupplementaryServices), 4, 0, 1, 2);
    const struct {
        std::string_view caption;
        int p1, p2;
    } services[] = {
        {res::kTextCallWaiting, IDC_CALL_WAITING1, IDC_CALL_WAITING2},
        {res::kTextClipOnCw, IDC_CLIP_ON_CW1, IDC_CLIP_ON_CW2},
        {res::kTextMeteringPulse, IDC_METERING1, IDC_METERING2},
        {res::kTextDelayedClearBack, IDC_DCB1, IDC_DCB2},
        {res::kTextNoIncomingMlppp, IDC_NO_MLPPP1, IDC_NO_MLPPP2},
        {res::kTextClir, IDC_CLIR1, IDC_CLIR2},
        {res::kTextColr, IDC_COLR1, IDC_COLR2},
        {res::kTextMessageWaiting, IDC_MWI1, IDC_MWI2},
    };
    int row = 5;
    for (const auto& service : services) {
        QCheckBox* p1 = CheckBox(this, service.p1, service.caption);
        QCheckBox* p2 = CheckBox(this, service.p2, {});
        for (int port = 0; port < 2; ++port) {
            QCheckBox* box = port == 0 ? p1 : p2;
            NameControl(box, {Text(service.caption), Text(headings[port].first)});
            connect(box, &QCheckBox::clicked, this, [this] { SettingsChanged(); });
            columns[port].push_back(box);
        }
        grid->addWidget(p1, row, 0);
        grid->addWidget(p2, row, 1);
        ++row;
    }

    auto* terminal_label = new QLabel(Text(res::kTextConnectedTerminal), this);
    SetControlId(terminal_label, IDC_TERMINAL_LABEL);
    grid->addWidget(terminal_label, row++, 0, 1, 2);
    const std::string_view fax[2] = {res::kTextG3Fax, res::kTextG3FaxPort2};
    for (int port = 0; port < 2; ++port) {
        auto* list = new CChoiceList(this);
        SetControlId(list, port == 0 ? IDC_TERMINAL1 : IDC_TERMINAL2);
        for (const auto item : {res::kTextAnalogPhone, fax[port], res::kTextAnalogModem}) {
            list->addItem(Text(item));
        }
        list->setCurrentIndex(-1);
        NameControl(list, {terminal_label->text(), Text(headings[port].first)},
                    port == 0 ? terminal_label : nullptr);
        columns[port].push_back(list);
        connect(list, &QComboBox::activated, this, [this, port] { OnTerminalChosen(port); });
        grid->addWidget(list, row, port, Qt::AlignLeft);
    }
    ++row;

    auto* llc_label = new QLabel(Text(res::kTextModemLlcOctets), this);
    SetControlId(llc_label, IDC_LLC_LABEL);
    grid->addWidget(llc_label, row++, 0, 1, 2);
    for (int port = 0; port < 2; ++port) {
        auto* h = new QHBoxLayout();
        for (std::size_t octet = 0; octet < CDeviceConfig::kLlcOctets; ++octet) {
            QLineEdit* edit = DigitsEdit(this, kLlcIds[port][octet], kLlcLengthMax, 44);
            NameControl(edit, {Text(res::kTextLlcOctetNames[octet]), Text(headings[port].first)},
                        port == 0 && octet == 0 ? llc_label : nullptr);
            columns[port].push_back(edit);
            connect(edit, &QLineEdit::textEdited, this, [this] { SettingsChanged(); });
            h->addWidget(edit);
        }
        h->addStretch(1);
        grid->addLayout(h, row, port);
    }
    const int last_service_row = row++;

    // The third column below the numbers: the operational settings.
    auto* operational = new QVBoxLayout();
    operational->setSpacing(3);
    operational->addWidget(SectionLabel(this, res::kTextOperational));
    auto* protocols = new QWidget(this);  // its own radio group
    auto* pv = new QVBoxLayout(protocols);
    pv->setContentsMargins(0, 0, 0, 0);
    pv->setSpacing(3);
    AddRadios(
        this, protocols, pv,
        {{IDC_FUNCTIONAL, res::kTextFunctionalProtocol}, {IDC_KEYPAD, res::kTextKeypadProtocol}},
        [this] { SettingsChanged(); });
    operational->addWidget(protocols);
    for (const auto& [id, caption] : {std::pair{IDC_CLIP, res::kTextClip},
                                      std::pair{IDC_EMERGENCY, res::kTextFullEmergencyMode}}) {
        QCheckBox* box = CheckBox(this, id, caption);
        connect(box, &QCheckBox::clicked, this, [this] { SettingsChanged(); });
        operational->addWidget(box);
    }

    QLineEdit* flash = DigitsEdit(this, IDC_FLASH, kFlashLengthMax, 44);
    flash_spin_ = new CSpinButton(this, IDC_FLASH_SPIN, flash);
    operational->addLayout(
        NumberRow(this, res::kTextFlashDuration, flash, flash_spin_, res::kTextFlashUnit));
    // The spin buttons change the text too: every change of it counts.
    connect(flash, &QLineEdit::textChanged, this, [this] { OnFlashChange(); });
    flash->installEventFilter(this);

    auto* caller_id = new QGroupBox(Text(res::kTextCallerIdentification), this);
    auto* cv = new QVBoxLayout(caller_id);
    cv->setSpacing(2);
    cv->addWidget(new QLabel(Text(res::kTextTransmit), caller_id));
    AddRadios(this, caller_id, cv,
              {{IDC_BETWEEN_RINGS, res::kTextBetweenRings},
               {IDC_PRIOR_TO_RINGING, res::kTextPriorToRinging}},
              [this] { SettingsChanged(); });
    QLineEdit* fsk = DigitsEdit(caller_id, IDC_FSK, kFskLengthMax, 44);
    fsk_spin_ = new CSpinButton(caller_id, IDC_FSK_SPIN, fsk);
    cv->addLayout(NumberRow(caller_id, res::kTextFskLevel, fsk, fsk_spin_, {}));
    connect(fsk, &QLineEdit::textChanged, this, [this] { OnFskChange(); });
    fsk->installEventFilter(this);
    operational->addWidget(caller_id);
    operational->addStretch(1);
    grid->addLayout(operational, 4, 2, last_service_row - 3, 1);
    std::vector<QWidget*> order;
    for (const auto& column : columns) {
        order.insert(order.end(), column.begin(), column.end());
    }
    for (const int id : {IDC_FUNCTIONAL, IDC_KEYPAD, IDC_CLIP, IDC_EMERGENCY, IDC_FLASH,
                         IDC_BETWEEN_RINGS, IDC_PRIOR_TO_RINGING, IDC_FSK}) {
        order.push_back(GetDlgItem(id));
    }
    SetTabOrder(order);

    // The pictures under the columns and the note.
    const std::pair<int, CPortPicture::Kind> pictures[3] = {
        {IDC_PICTURE_P1, CPortPicture::Kind::kPhone},
        {IDC_PICTURE_P2, CPortPicture::Kind::kPhone},
        {IDC_PICTURE_DTE, CPortPicture::Kind::kComputer}};
    for (int port = 0; port < 3; ++port) {
        grid->addWidget(new CPortPicture(this, pictures[port].first, pictures[port].second,
                                         Text(headings[port].first)),
                        row, port, Qt::AlignHCenter);
    }
    ++row;
    auto* note = new QLabel(Text(res::kTextOperatorNote), this);
    note->setWordWrap(true);
    grid->addWidget(note, row, 0, 1, 3);
    grid->setRowStretch(row, 1);
    for (int column = 0; column < 3; ++column) {
        grid->setColumnStretch(column, 1);
    }
}

bool CTelephonyPage::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    // The headings: half again as tall (whole units, as the font sizes go).
    QFont font = headings_[0]->font();
    if (font.pointSize() > 0) {
        font.setPointSize(font.pointSize() * 3 / 2);
    } else {
        font.setPixelSize(font.pixelSize() * 3 / 2);
    }
    for (QLabel* heading : headings_) {
        heading->setFont(font);
    }
    ApplyCountryRules();
    return true;
}

bool CTelephonyPage::OnSetActive() {
    RefreshOwnBoxes();
    return CPropertyPage::OnSetActive();
}

void CTelephonyPage::ApplyCountryRules() {
    EnableBound();
    // The octets are asked for a modem only.
    for (std::size_t port = 0; port < CDeviceConfig::kLlcPorts; ++port) {
        const bool modem = IntField(kTerminalIds[port]) == params::kTerminalAnalogModem;
        for (const int id : kLlcIds[port]) {
            GetDlgItem(id)->setEnabled(Changeable(id) && modem);
        }
    }
    // The edits' spin buttons follow them: they would change a value the variant lacks.
    for (const auto& [id, spin] :
         {std::pair{IDC_FLASH, flash_spin_}, std::pair{IDC_FSK, fsk_spin_}}) {
        spin->setEnabled(GetDlgItem(id)->isEnabled());
        const Limits limits = LimitsOf(*BindingOf(Bindings(), id), Record());
        spin->SetRange(limits.lo, limits.hi);
        DescribeControl(GetDlgItem(id),
                        {Text(id == IDC_FLASH ? res::kTextFlashUnit : std::string_view{}),
                         QString::fromStdString(res::FormatLimits(limits.lo, limits.hi))});
    }
    RefreshOwnBoxes();
}

int CTelephonyPage::OwnNumber(int port) const {
    return IntField(kOwnIds[port][0]);
}

void CTelephonyPage::SetOwnNumber(int port, int row) {
    SetIntField(kOwnIds[port][0], row);
}

std::string& CTelephonyPage::Number(int port, int row) {
    return TextField(kNumberIds[port][row]);
}

void CTelephonyPage::RefreshOwnBoxes() {
    for (int port = 0; port < 3; ++port) {
        for (int row = 0; row < 3; ++row) {
            own_[port][row]->setChecked(OwnNumber(port) == row);
            own_[port][row]->setEnabled(Changeable(kOwnIds[port][row]) &&
                                        !Number(port, row).empty());
        }
    }
}

void CTelephonyPage::SettingsChanged() {
    host_.App().m_workingRecord.m_bSettingsModified = 1;
    SetModified(true);
}

void CTelephonyPage::OtherChanged() {
    host_.App().m_workingRecord.m_bOtherModified = 1;
    SetModified(true);
}

void CTelephonyPage::OnOwnNumberClicked(int port, int row) {
    OtherChanged();
    SetOwnNumber(port, own_[port][row]->isChecked() ? row : CDeviceConfig::kOwnNumberNone);
    RefreshOwnBoxes();
}

void CTelephonyPage::OnNumberEdited(int port, int row) {
    OtherChanged();
    const QString text = Item<QLineEdit>(kNumberIds[port][row])->text();
    own_[port][row]->setEnabled(Changeable(kOwnIds[port][row]) && !text.isEmpty());
    // An empty number cannot be the port's own.
    if (text.isEmpty() && OwnNumber(port) == row) {
        SetOwnNumber(port, CDeviceConfig::kOwnNumberNone);
        own_[port][row]->setChecked(false);
    }
    Number(port, row) = text.toStdString();
}

void CTelephonyPage::OnTerminalChosen(int port) {
    SettingsChanged();
    const int index = Item<QComboBox>(kTerminalIds[port])->currentIndex();
    SetIntField(kTerminalIds[port], index);
    for (const int id : kLlcIds[port]) {
        GetDlgItem(id)->setEnabled(Changeable(id) && index == params::kTerminalAnalogModem);
    }
}

void CTelephonyPage::OnFlashChange() {
    // The first change is the first load of the controls.
    if (m_bFlashFirstChange != 0) {
        m_bFlashFirstChange = 0;
    } else if (NumberIn(Item<QLineEdit>(IDC_FLASH)) != IntField(IDC_FLASH)) {
        SettingsChanged();
    }
}

void CTelephonyPage::OnFskChange() {
    if (m_bFskFirstChange != 0) {
        m_bFskFirstChange = 0;
    } else if (NumberIn(Item<QLineEdit>(IDC_FSK)) != IntField(IDC_FSK)) {
        SettingsChanged();
    }
}

bool CTelephonyPage::eventFilter(QObject* watched, QEvent* event) {
    const bool limited = watched == GetDlgItem(IDC_FLASH) || watched == GetDlgItem(IDC_FSK);
    if (limited && event->type() == QEvent::FocusIn && !checking_) {
        // What a refused value leaves behind: the page as it was before the edit.
        modified_before_ = IsModified();
        settings_before_ = host_.App().m_workingRecord.m_bSettingsModified;
    }
    // A message box taking the focus is a focus loss too: one check at a time,
    // and none while the page's own exchange of values says what is wrong.
    if (limited && event->type() == QEvent::FocusOut && !checking_ &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        checking_ = true;
        CheckLimits(watched == GetDlgItem(IDC_FLASH) ? IDC_FLASH : IDC_FSK);
        checking_ = false;
    }
    return CRecordPage::eventFilter(watched, event);
}

void CTelephonyPage::CheckLimits(int id) {
    auto* edit = Item<QLineEdit>(id);
    const int value = NumberIn(edit);
    const Limits limits = LimitsOf(*BindingOf(Bindings(), id), Record());
    if (value == 0) {
        edit->setText(QStringLiteral("0"));
    } else if (!LimitedAllows(limits, value)) {
        AppMessageBox(this, FieldMessage(edit, res::FormatLimits(limits.lo, limits.hi)),
                      link::MessageIcon::Exclamation);
        edit->setText(QString::number(IntField(id)));
        host_.App().m_workingRecord.m_bSettingsModified = settings_before_;
        SetModified(modified_before_);
        // The person corrects it where it was.
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
    }
}

void CTelephonyPage::DoDataExchange(CDataExchange& dx) {
    // A failing value's message takes the focus from its edit: no second check.
    const QScopedValueRollback<bool> no_focus_check(checking_, checking_ || dx.m_bSaveAndValidate);
    ExchangeBound(dx);
    if (!dx.m_bSaveAndValidate) {
        // What was loaded may come from another device variant or own number.
        ApplyCountryRules();
    }
}

void CTelephonyPage::OnOK() {
    // Changes that could not be written stay on screen: the sheet stays open.
    if (host_.WriteDevice()) {
        host_.EndWithOk();
    }
}

}  // namespace vardex::ui
