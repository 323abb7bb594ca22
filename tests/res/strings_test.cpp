#include "res/strings.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace vardex::res;

// The printf conversions of a format, length modifier included ("ld"), in order;
// "%%" is a literal percent sign and yields nothing.
std::vector<std::string> Conversions(std::string_view format) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < format.size() && format[j] != '\0' &&
               std::strchr("-+ #0123456789.hlLqjzt", format[j]) != nullptr) {
            ++j;
        }
        out.emplace_back(format.substr(i + 1, j - i));
        i = j;
    }
    return out;
}

bool IsBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

TEST(StringTable, IdsAreUniqueSortedAndInTheResourceRange) {
    const auto all = AllStrings();
    ASSERT_FALSE(all.empty());
    for (std::size_t i = 1; i < all.size(); ++i) {
        EXPECT_LT(all[i - 1].id, all[i].id) << "entry " << i;
    }
    for (const auto& e : all) {
        EXPECT_TRUE(e.id == IDS_ABOUT_MENU || (e.id >= 57344 && e.id <= 57756)) << e.id;
        EXPECT_FALSE(e.text.empty()) << e.id << " would read as a missing entry";
    }
}

TEST(StringTable, LoadStringFindsEveryEntryAndNothingElse) {
    for (const auto& e : AllStrings()) {
        EXPECT_EQ(LoadString(e.id), e.text) << e.id;
    }
    // Below, between and above the entries, including unused numbers inside the range.
    for (int id : {INT_MIN, -1, 0, 100, 102, 57343, 57345, 57670, 57686, 57687, 57694, 57718, 57721,
                   57735, 57757, INT_MAX}) {
        EXPECT_TRUE(LoadString(id).empty()) << id;
    }
}

TEST(StringTable, EscapesBecomeControlCharacters) {
    for (const auto& e : AllStrings()) {
        EXPECT_EQ(e.text.find('\\'), std::string_view::npos) << e.id << " holds a backslash";
    }
    EXPECT_EQ(LoadString(IDS_DEVICE_SUMMARY),
              "%s\nvarDex country:\t\t%s\nModel Version:\t\t%d.%d\n"
              "Hardware Version:\t%d.%d\nSoftware Version:\t%d.%d");
    EXPECT_EQ(LoadString(IDS_INITIAL_PROBING), "%s.\n\nPerforming initial probing....");
    EXPECT_EQ(LoadString(IDS_UPGRADE_FAILED),
              "Some error occurred, during firmware upgrading.\n"
              "Please press \"RESET\" on the varDex and try again.");
    EXPECT_EQ(kTextDeviceListPrompt.front(), '\r');
    EXPECT_EQ(kTextStorageIntro,
              "This option lets you select the profile you want to save changes. \r"
              "Press \"Cancel\" to bypass this dialog.");
}

TEST(StringTable, SpellingAndBlanksAreKeptVerbatim) {
    EXPECT_EQ(LoadString(IDS_PREVIOUS_UPGRADE_FAILED),
              "A previous Firmware Upgrade was  not successful. Please reset the varDex and try "
              "again.");
    EXPECT_EQ(LoadString(IDS_DEVICE_IN_UPGRADE_MODE),
              "A varDex in upgrade mode.\n"
              "Probably a previous uprade operation was interrupted....");
    EXPECT_EQ(LoadString(IDS_DESC_HARDWARE_INTERFACE),
              "The hardware interface test verifies that your varDex is able to tranfer data "
              "reliably using the D and B channels.\n"
              "You  don't need an analog telephone to perform this test.");
    EXPECT_EQ(LoadString(IDS_LOG_OPEN_FAILED), "Unable to open log file %s for writting.");
    EXPECT_TRUE(LoadString(IDS_DEVICE_NOT_FOUND).ends_with("used by another application.."));
    EXPECT_EQ(kTextDefaultTransparentProfile, "Use default trasparent profle");
    EXPECT_EQ(kTextFaultsDetectedFormat, "Faults detected while transfering data (%d)");
    EXPECT_EQ(kTextTitleFormat, "%s  -  ver. %s ");
    EXPECT_EQ(kTextAboutVersionFormat, std::string(13, ' ') + "Version %s\n");
    EXPECT_NE(kTextDeviceListPrompt.find("configure,  from"), std::string_view::npos);
    EXPECT_EQ(kTextG3FaxPort2, std::string(kTextG3Fax) + " ");
    EXPECT_EQ(kTextEnableCug, "Enable CUG ");
    EXPECT_EQ(kTextX121Address, " X.121 Address :");
}

// The self-test dialog runs every text it shows through printf, so a text that
// is not a format must hold no '%' at all, and a format must hold exactly the
// conversions its callers pass.
TEST(StringTable, FormatsTakeExactlyTheArgumentsTheirCallersPass) {
    using V = std::vector<std::string>;
    const std::map<int, V> formats = {
        {IDS_INITIAL_PROBING, {"s"}},
        {IDS_CHECKING_VERSION, {"s"}},
        {IDS_DEVICE_SUMMARY, {"s", "s", "d", "d", "d", "d", "d", "d"}},
        {IDS_UPGRADE_PROGRESS, {"ld", "ld", "d", "d"}},
        {IDS_LOG_OPEN_FAILED, {"s"}},
        {IDS_PROMPT_PRESS_KEY, {"c"}},
    };
    for (const auto& e : AllStrings()) {
        const auto it = formats.find(e.id);
        if (it != formats.end()) {
            EXPECT_EQ(Conversions(e.text), it->second) << e.id;
        } else {
            EXPECT_EQ(e.text.find('%'), std::string_view::npos) << e.id;
        }
    }
    EXPECT_NE(LoadString(IDS_UPGRADE_PROGRESS).find("(%d.%d%%)"), std::string_view::npos);

    EXPECT_EQ(Conversions(kTextTitleFormat), (V{"s", "s"}));
    EXPECT_EQ(Conversions(kTextAboutVersionFormat), (V{"s"}));
    EXPECT_EQ(Conversions(kTextDirectToFormat), (V{"s"}));
    EXPECT_EQ(Conversions(kTextFaultsDetectedFormat), (V{"d"}));
    EXPECT_EQ(Conversions(kTextLimitsFormat), (V{"s", "d", "d"}));
    EXPECT_EQ(Conversions(kTextVersionFormat), (V{"d", "d"}));
    // Positional placeholders, filled by the validation code rather than printf.
    EXPECT_NE(kTextIntegerRange.find("%1"), std::string_view::npos);
    EXPECT_NE(kTextIntegerRange.find("%2"), std::string_view::npos);
}

// The name and version texts are put in by FormatText: each "%s" in turn, and
// nothing a value brings in is taken for a placeholder.
TEST(StringTable, FormatTextFillsThePlaceholdersInOrder) {
    EXPECT_EQ(FormatText(kTextTitleFormat, {"A", "1.0"}), "A  -  ver. 1.0 ");
    EXPECT_EQ(FormatText(kTextDirectToFormat, {"/dev/ttyS0"}), "Direct to /dev/ttyS0");
    EXPECT_EQ(FormatText(LoadString(IDS_INITIAL_PROBING), {"COM1"}),
              "COM1.\n\nPerforming initial probing....");
    EXPECT_EQ(FormatText("%s and %s", {"%s", "b"}), "%s and b");
    EXPECT_EQ(FormatText("%s and %s", {"a"}), "a and %s");
    EXPECT_EQ(FormatText("50%", {"a"}), "50%");
    EXPECT_EQ(FormatText("%s", {}), "%s");
}

TEST(StringTable, OnlyTheTextsThatAlwaysHadThemCarryOuterBlanks) {
    for (const auto& e : AllStrings()) {
        const bool leading = IsBlank(e.text.front());
        const bool trailing = IsBlank(e.text.back());
        EXPECT_EQ(leading, e.id == IDS_DOWNLOADING_STATUS) << e.id;
        EXPECT_EQ(trailing, e.id == IDS_FAULT_SEPARATOR) << e.id;
    }
    EXPECT_EQ(LoadString(IDS_FAULT_SEPARATOR), ", ");
    EXPECT_EQ(LoadString(IDS_DOWNLOADING_STATUS).front(), '\n');
}

}  // namespace
