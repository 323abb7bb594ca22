#include "res/strings.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace vardex::res {
namespace {

// Kept in ascending id order: LoadString searches it by halves.
constexpr std::array kTable = std::to_array<StringEntry>({
    {IDS_ABOUT_MENU, "&About varDex Configuration Manager..."},
    {IDS_APP_TITLE, "varDex Configuration Manager"},
    {IDS_SCANNING_PORTS,
     "Scanning your computer's ports for a connected varDex.\n"
     "This might take a little time..."},
    {IDS_INITIAL_PROBING, "%s.\n\nPerforming initial probing...."},
    {IDS_CHECKING_VERSION,
     "%s.\n"
     "Checking whether the device is a supported varDex version."},
    {IDS_DEVICE_SUMMARY,
     "%s\n"
     "varDex country:\t\t%s\n"
     "Model Version:\t\t%d.%d\n"
     "Hardware Version:\t%d.%d\n"
     "Software Version:\t%d.%d"},
    {IDS_DEVICE_NOT_FOUND,
     "A varDex was not found at any of the configured communication ports.\n"
     "Make sure that:\n"
     "1. Your varDex is connected to your computer via the RS-232 / USB cable.\n"
     "2. The varDex is connected to the ISDN network.\n"
     "3. The power cable of the varDex is connected to the mains power outlet.\n"
     "4. Your varDex is not used by another application.."},
    {IDS_DEVICE_IN_UPGRADE_MODE,
     "A varDex in upgrade mode.\n"
     "Probably a previous uprade operation was interrupted...."},
    {IDS_UPLOADING_CAPTION, "Uploading varDex Parameters..."},
    {IDS_DOWNLOADING_CAPTION, "Downloading varDex Parameters..."},
    {IDS_UPGRADING_CAPTION, "Upgrading varDex firmware..."},
    {IDS_FIRMWARE_FILE_FILTER,
     "varDex Download Files (*.img;*.dnl)|*.img;*.dnl|All Files (*.*)|*.*||"},
    {IDS_UPGRADE_PROGRESS,
     "Upgrading firmware...\n"
     "If the process is interrupted you must reset your varDex.\n"
     "\n"
     "%ld bytes out of %ld (%d.%d%%)"},
    {IDS_DOWNLOADING_STATUS, "\nDownloading parameters to your varDex\n\nPlease wait..."},
    {IDS_UPGRADE_WARNING,
     "Warning!\n"
     "\n"
     "The download of a new firmware version shall\n"
     "erase all your configuration data.\n"
     "If for any reason the procedure canceled,\n"
     "you must repeat the downloading.\n"
     "\n"
     "Are you sure that you want to continue?"},
    {IDS_RESULT_NOT_TESTED, "Not tested..."},
    {IDS_TEST_IN_PROGRESS, "Test in progress..."},
    {IDS_LOG_FILE_FILTER, "varDex Log Files (*.txt)|*.txt|All Files (*.*)|*.*||"},
    {IDS_LOG_START, "Log..."},
    {IDS_LOG_STOP, "No Log"},
    {IDS_LOG_OPEN_FAILED, "Unable to open log file %s for writting."},
    {IDS_RESULT_PASS, "Pass"},
    {IDS_RESULT_FAIL, "FAIL"},
    {IDS_TEST_RING, "Telephone Ring Test"},
    {IDS_TEST_HARDWARE_INTERFACE, "Hardware Interface Test"},
    {IDS_TEST_INTERBOARD, "Interboard Communications test"},
    {IDS_TEST_HANDSET, "Telephone Handset Test"},
    {IDS_TEST_DIALING, "Telephone Dialing Test"},
    {IDS_TEST_TONE, "Telephone Tone Test"},
    {IDS_TEST_CHARGING, "Telephone Charging Test"},
    {IDS_TEST_CALL_ID, "Telephone Call Identification Test"},
    {IDS_FIRMWARE_FILE_ERROR,
     "Some error occurred while trying to access firmware file.\n"
     "Please check if the file is valid."},
    {IDS_PROMPT_RINGING, "Is the telephone ringing?"},
    {IDS_DESC_RING,
     "The ring test verifies the correct operation of the ring generation circuit of your varDex.\n"
     "You should have at least one analog telephone available to perform this test."},
    {IDS_RESULT_INTERRUPTED, "Interrupted"},
    {IDS_FAULT_RING1, "Ring generator #1 fault"},
    {IDS_FAULT_RING2, "Ring generator #2 fault"},
    {IDS_COLUMN_TEST_NAME, "Test Name"},
    {IDS_COLUMN_RESULT, "Result"},
    {IDS_COLUMN_ERROR, "Error Description"},
    {IDS_PROMPT_HANDSET_DOWN, "Place the handset down and press 'Test'"},
    {IDS_UPGRADE_FAILED,
     "Some error occurred, during firmware upgrading.\n"
     "Please press \"RESET\" on the varDex and try again."},
    {IDS_DESC_HANDSET,
     "The hook test verifies the correct operation of the hook detection circuit of your varDex.\n"
     "You should have at least one analog telephone available to perform this test."},
    {IDS_FAULT_HOOK1, "Hook detector #1 fault"},
    {IDS_FAULT_HOOK2, "Hook detector #2 fault"},
    {IDS_PROMPT_HANDSET_UP, "Pickup the handset and press 'Test'"},
    {IDS_PLUG_PORT1, "Plug a telephone in the first analog port."},
    {IDS_PLUG_PORT2, "Plug a telephone in the second analog port."},
    {IDS_TEST_BUTTON, "&Test"},
    {IDS_FAULT_SEPARATOR, ", "},
    {IDS_DESC_HARDWARE_INTERFACE,
     "The hardware interface test verifies that your varDex is able to tranfer data reliably using "
     "the D and B channels.\n"
     "You  don't need an analog telephone to perform this test."},
    {IDS_PROMPT_VERIFY_D, "Verifying data transfer of D channel."},
    {IDS_PROMPT_VERIFY_B1, "Verifying data transfer of B1 channel."},
    {IDS_PROMPT_VERIFY_B2, "Verifying data transfer of B2 channel."},
    {IDS_FAULT_D_CHANNEL, "D channel fault"},
    {IDS_FAULT_B1_CHANNEL, "B1 channel fault"},
    {IDS_FAULT_B2_CHANNEL, "B2 channel fault"},
    {IDS_DESC_INTERBOARD,
     "This test verifies the interboard communications of your varDex.\n"
     "You don't need an analog telephone to perform this test"},
    {IDS_FAULT_U_INTERFACE, "U interface fault"},
    {IDS_FAULT_S_INTERFACE, "S interface fault"},
    {IDS_PROMPT_VERIFY_INTERBOARD, "Verifying interboard communications."},
    {IDS_TEST_IN_PROGRESS_WAIT, "Test in progress...\nPlease wait."},
    {IDS_FAULT_NO_RESPONSE, "No response from varDex-check cables."},
    {IDS_DESC_TONE,
     "The tone test verifies the correct operation of the tone generator of your varDex.\n"
     "You should have at least one analog telephone to perform this test."},
    {IDS_DESC_DIALING,
     "The tone test verifies the correct operation of the DTMF detection circuit of your varDex.\n"
     "You should have at least one analog telephone to perform this test."},
    {IDS_PLUG_PORT1_PICKUP, "Plug a telephone in the first analog port and pickup the handset."},
    {IDS_PLUG_PORT2_PICKUP, "Plug a telephone in the second analog port and pickup the handset."},
    {IDS_FAULT_TONE1, "Tone generator #1 fault"},
    {IDS_FAULT_TONE2, "Tone generator #2 fault"},
    {IDS_PROMPT_HEAR_TONE, "Do you hear the tone?"},
    {IDS_FAULT_DTMF1, "DTMF detector #1 fault"},
    {IDS_FAULT_DTMF2, "DTMF detector #2 fault"},
    {IDS_PROMPT_PRESS_KEY, "Press the '%c' key on the telephone."},
    {IDS_DESC_CHARGING,
     "The charging test verifies the correct operation of the charging pulse generator of your "
     "varDex.\n"
     "You should have available a telephone capable of displaying charging information, or a "
     "standalone device of similar capabilities."},
    {IDS_FAULT_CHARGE1, "Charge generator #1 fault"},
    {IDS_FAULT_CHARGE2, "Charge generator #2 fault"},
    {IDS_PROMPT_CHARGING, "Do you see any charging activity?"},
    {IDS_PROMPT_PICKUP, "Pickup the handset."},
    {IDS_VERSION, "3.3"},
    {IDS_SELECT_DEVICE, "Please, select a device from the list"},
    {IDS_PREVIOUS_UPGRADE_FAILED,
     "A previous Firmware Upgrade was  not successful. Please reset the varDex and try again."},
    {IDS_VALID_LIMITS, "Valid limits:"},
});

constexpr bool IdsStrictlyAscending() {
    return std::adjacent_find(kTable.begin(), kTable.end(), [](const auto& a, const auto& b) {
               return a.id >= b.id;
           }) == kTable.end();
}
static_assert(IdsStrictlyAscending(), "string table ids must be unique and in ascending order");

}  // namespace

std::string_view LoadString(int id) {
    const auto* it = std::lower_bound(kTable.begin(), kTable.end(), id,
                                      [](const StringEntry& e, int key) { return e.id < key; });
    if (it == kTable.end() || it->id != id) {
        return {};
    }
    return it->text;
}

std::span<const StringEntry> AllStrings() {
    return kTable;
}

std::string FormatText(std::string_view format, std::initializer_list<std::string_view> values) {
    std::string text;
    auto value = values.begin();
    std::size_t from = 0;
    for (std::size_t at = format.find("%s"); at != std::string_view::npos && value != values.end();
         at = format.find("%s", from)) {
        text.append(format.substr(from, at - from)).append(*value++);
        from = at + 2;
    }
    return text.append(format.substr(from));
}

std::string FormatLimits(int lo, int hi) {
    const std::string format(kTextLimitsFormat);
    const std::string prefix(LoadString(IDS_VALID_LIMITS));
    char text[128];
    std::snprintf(text, sizeof text, format.c_str(), prefix.c_str(), lo, hi);
    return text;
}

}  // namespace vardex::res
