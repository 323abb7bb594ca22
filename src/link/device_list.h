// The device table of the search and the device-list choice made from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/user_prompts.h"

namespace vardex::link {

struct DeviceEntry {
    std::string name;         // "Direct to COM3", or a modem line's name with its port
    std::string reply;        // what the device answered to "ATI4"
    std::uint32_t index = 0;  // COM port number or line device identifier
    std::string path;         // the device path behind it, when known
};

// The row as the device list shows it: the name with the path beside it
// ("Direct to COM3 (/dev/ttyUSB0)"), unless the name already carries it.
std::string ListedName(const DeviceEntry& row);

// True when an "ATI4" reply names a varDex.
bool ReplyNamesVarDex(const std::string& reply);

// The device list: lists, in table order, the rows whose reply names a varDex.
// OK without a selection takes the only item, or, with several, says so and asks
// again. Returns Choice::kMade with *chosen_index set to the row's index, or
// kCancelled on Cancel (also when nothing could be listed).
Choice RunDeviceList(IUserPrompts& prompts, const std::vector<DeviceEntry>& rows, std::size_t count,
                     std::uint32_t* chosen_index);

}  // namespace vardex::link
