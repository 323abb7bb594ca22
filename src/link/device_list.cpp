#include "link/device_list.h"

#include "res/strings.h"

namespace vardex::link {

bool ReplyNamesVarDex(const std::string& reply) {
    return reply.find("varDex") != std::string::npos || reply.find("VarDex") != std::string::npos;
}

std::string ListedName(const DeviceEntry& row) {
    if (row.path.empty() || row.name.find("(" + row.path + ")") != std::string::npos) {
        return row.name;
    }
    return row.name + " (" + row.path + ")";
}

Choice RunDeviceList(IUserPrompts& prompts, const std::vector<DeviceEntry>& rows, std::size_t count,
                     std::uint32_t* chosen_index) {
    std::vector<std::string> names;
    std::vector<std::uint32_t> indexes;
    for (std::size_t i = 0; i < rows.size() && i < count; ++i) {
        if (ReplyNamesVarDex(rows[i].reply)) {
            names.push_back(ListedName(rows[i]));
            indexes.push_back(rows[i].index);
        }
    }
    if (names.empty()) {
        return Choice::kCancelled;
    }
    for (;;) {
        int selected = -1;
        if (prompts.ChooseFromList(std::string(vardex::res::kTextDeviceListCaption),
                                   std::string(vardex::res::kTextDeviceListPrompt), names,
                                   &selected) != Choice::kMade) {
            return Choice::kCancelled;
        }
        if (selected < 0 && names.size() == 1) {
            selected = 0;
        }
        if (selected >= 0 && static_cast<std::size_t>(selected) < names.size()) {
            *chosen_index = indexes[static_cast<std::size_t>(selected)];
            return Choice::kMade;
        }
        prompts.ShowMessage(std::string(vardex::res::LoadString(vardex::res::IDS_SELECT_DEVICE)),
                            MessageIcon::Exclamation);
    }
}

}  // namespace vardex::link
