#include "record_page.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <array>
#include <cassert>
#include <utility>

#include "params/country_variant.h"
#include "res/strings.h"
#include "ui/dialog.h"

using namespace vardex::params;

namespace vardex::ui {

namespace {

// The longest radio group a page binds (the connection protocols).
constexpr std::size_t kRadioGroupMax = CDeviceConfig::kProtocolCount;

// The exchange takes a group's buttons as a list: one function per group size.
template <std::size_t N>
void RadioOfSize(CDataExchange& dx, std::span<const int> ids, int& value) {
    [&]<std::size_t... I>(std::index_sequence<I...>) {
        dx.Radio({ids[I]...}, value);
    }
    (std::make_index_sequence<N>{});
}

void Radio(CDataExchange& dx, std::span<const int> ids, int& value) {
    static constexpr auto kBySize = []<std::size_t... N>(std::index_sequence<N...>) {
        return std::array{&RadioOfSize<N>...};
    }
    (std::make_index_sequence<kRadioGroupMax + 1>{});
    assert(ids.size() <= kRadioGroupMax);
    kBySize[ids.size()](dx, ids, value);
}

// What a read-only edit shows of its field.
std::string ShownText(CDeviceConfig& record, const FieldBinding& binding) {
    const RecordField& field = FieldOf(binding);
    if (field.type == FieldType::kWord) {
        return CDeviceConfig::FormatVersion(FieldElement<std::uint16_t>(field, record));
    }
    if (field.type == FieldType::kText || field.type == FieldType::kTextArray) {
        return TextValue(record, binding);
    }
    return std::to_string(IntValue(record, binding));
}

// Takes a limited edit's number; an empty edit or a changed value outside the
// limits fails the exchange with the limits.
void ExchangeLimited(CDataExchange& dx, const QWidget* root, CDeviceConfig& record,
                     const FieldBinding& binding) {
    int value = IntValue(record, binding);
    if (!dx.m_bSaveAndValidate) {
        dx.Int(binding.id, value);
        return;
    }
    if (dx.Failed()) {
        return;
    }
    // A limit the focus check has not seen yet (Apply straight from the edit)
    // still holds; a value the device already had passes as it is.
    const Limits limits = LimitsOf(binding, record);
    bool number = false;
    const auto* edit = qobject_cast<const QLineEdit*>(FindControl(root, binding.id));
    const int typed = edit->text().trimmed().toInt(&number);
    if (!number || (typed != value && !LimitedAllows(limits, typed))) {
        dx.FailWith(binding.id, res::FormatLimits(limits.lo, limits.hi));
        return;
    }
    SetInt(record, binding, typed);
}

}  // namespace

const RecordField& FieldOf(const FieldBinding& binding) {
    // Every member of the record has its entry (the table's test checks it).
    const RecordField* field = ::FieldOf(binding.member);
    assert(field != nullptr);
    return *field;
}

int IntValue(const CDeviceConfig& record, const FieldBinding& binding) {
    return FieldNumber(FieldOf(binding), record, binding.index);
}

void SetInt(CDeviceConfig& record, const FieldBinding& binding, int number) {
    SetFieldNumber(FieldOf(binding), record, number, binding.index);
}

std::string& TextValue(CDeviceConfig& record, const FieldBinding& binding) {
    return FieldElement<std::string>(FieldOf(binding), record, binding.index);
}

Limits LimitsOf(const FieldBinding& binding, const CDeviceConfig& record) {
    const RecordField& field = FieldOf(binding);
    return {binding.flash_minimum ? params::VariantOf(record).FlashMinimum() : field.lo, field.hi};
}

bool LimitedAllows(const Limits& limits, int value) {
    return value == 0 || (value >= limits.lo && value <= limits.hi);
}

void ExchangeFields(CDataExchange& dx, const QWidget* root, CDeviceConfig& record,
                    std::span<const FieldBinding> bindings,
                    const std::function<bool(const FieldBinding&)>& keep) {
    for (const FieldBinding& binding : bindings) {
        if (dx.m_bSaveAndValidate && keep && keep(binding)) {
            continue;
        }
        if (binding.exchange == Exchange::kNone) {
            continue;
        }
        if (binding.exchange == Exchange::kShown) {
            if (!dx.m_bSaveAndValidate) {
                std::string shown = ShownText(record, binding);
                dx.Text(binding.id, shown);
            }
            continue;
        }
        if (binding.exchange == Exchange::kText) {
            dx.Text(binding.id, TextValue(record, binding));
            continue;
        }
        if (binding.exchange == Exchange::kLimited) {
            ExchangeLimited(dx, root, record, binding);
            continue;
        }
        int value = IntValue(record, binding);
        const Limits limits = LimitsOf(binding, record);
        switch (binding.exchange) {
            case Exchange::kCheck:
                dx.Check(binding.id, value);
                break;
            case Exchange::kRadio:
                Radio(dx, binding.group, value);
                // No button checked (never after a load) keeps the value: -1 is none.
                if (value < 0) {
                    continue;
                }
                break;
            case Exchange::kList:
                dx.CBIndex(binding.id, value);
                break;
            case Exchange::kNumber:
                dx.IntRange(binding.id, value, limits.lo, limits.hi);
                break;
            case Exchange::kDigits:
                dx.UIntRange(binding.id, value, limits.lo, limits.hi);
                break;
            case Exchange::kText:
            case Exchange::kLimited:
            case Exchange::kNone:
            case Exchange::kShown:
                break;
        }
        if (dx.m_bSaveAndValidate && !dx.Failed()) {
            SetInt(record, binding, value);
        }
    }
}

void EnableFields(const QWidget* root, const CDeviceConfig& record,
                  std::span<const FieldBinding> bindings) {
    for (const FieldBinding& binding : bindings) {
        if (binding.exchange == Exchange::kShown) {
            continue;
        }
        const bool on = FieldChangeable(FieldOf(binding), record);
        FindControl(root, binding.id)->setEnabled(on);
        for (const int id : binding.group) {
            FindControl(root, id)->setEnabled(on);
        }
    }
}

void CopyFields(CDeviceConfig& to, const CDeviceConfig& from,
                std::span<const FieldBinding> bindings) {
    for (const FieldBinding& binding : bindings) {
        if (binding.exchange == Exchange::kShown) {
            continue;
        }
        CopyField(FieldOf(binding), to, from);
    }
}

const FieldBinding* BindingOf(std::span<const FieldBinding> bindings, int id) {
    for (const FieldBinding& binding : bindings) {
        if (binding.id == id) {
            return &binding;
        }
    }
    for (const FieldBinding& binding : bindings) {
        for (const int member : binding.group) {
            if (member == id) {
                return &binding;
            }
        }
    }
    return nullptr;
}

// ---- CRecordPage ----

CRecordPage::CRecordPage(const QString& title, int help_topic,
                         std::span<const FieldBinding> bindings)
    : CPropertyPage(title, help_topic), bindings_(bindings) {}

void CRecordPage::LoadFrom(const CDeviceConfig& record) {
    record_.CopyFrom(record);
    loaded_ = true;
}

void CRecordPage::StoreTo(CDeviceConfig& record) const {
    CopyFields(record, record_, bindings_);
}

const FieldBinding& CRecordPage::Bound(int id) const {
    const FieldBinding* binding = BindingOf(bindings_, id);
    assert(binding != nullptr);
    return *binding;
}

int CRecordPage::IntField(int id) const {
    return IntValue(record_, Bound(id));
}

void CRecordPage::SetIntField(int id, int value) {
    SetInt(record_, Bound(id), value);
}

std::string& CRecordPage::TextField(int id) {
    return TextValue(record_, Bound(id));
}

bool CRecordPage::Changeable(int id) const {
    return FieldChangeable(FieldOf(Bound(id)), record_);
}

void CRecordPage::ExchangeBound(CDataExchange& dx,
                                const std::function<bool(const FieldBinding&)>& keep) {
    ExchangeFields(dx, this, record_, bindings_, keep);
    if (dx.m_bSaveAndValidate || loaded_) {
        return;
    }
    // Before the first read the page's copy holds defaults, not the device's
    // values: what is only shown, and the lists, stay empty.
    for (const FieldBinding& binding : bindings_) {
        QWidget* control = GetDlgItem(binding.id);
        if (auto* edit = qobject_cast<QLineEdit*>(control);
            edit != nullptr && binding.exchange == Exchange::kShown) {
            edit->clear();
        } else if (auto* list = qobject_cast<QComboBox*>(control);
                   list != nullptr && binding.exchange == Exchange::kList) {
            list->setCurrentIndex(-1);
        }
    }
}

void CRecordPage::EnableBound() const {
    EnableFields(this, record_, bindings_);
}

}  // namespace vardex::ui
