// The program's string table: every text the person sees, by its resource number,
// spelled exactly as the program has always shown it (its misspellings and doubled
// blanks included, since people and scripts match on them). Texts that carry no
// number (captions, labels, list items, formats) are named constants below.
//
// Several numbered texts are printf formats; the comment above each names the
// arguments its callers pass, in order.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace vardex::res {

struct StringEntry {
    int id;
    std::string_view text;
};

// The text of entry id exactly as the program shows it; empty when the table has
// no such entry.
std::string_view LoadString(int id);

// Every numbered entry, sorted by id.
std::span<const StringEntry> AllStrings();

// format with each "%s" replaced, in order, by the next of values; a "%s"
// without a value stays as it is. The texts whose formats carry numbers go
// through printf instead.
std::string FormatText(std::string_view format, std::initializer_list<std::string_view> values);

// Application and About box.
inline constexpr int IDS_ABOUT_MENU = 101;
inline constexpr int IDS_APP_TITLE = 57344;
// The program version shown in the title and the About box.
inline constexpr int IDS_VERSION = 57753;

// Device search and identification.
inline constexpr int IDS_SCANNING_PORTS = 57671;
// Format: device name.
inline constexpr int IDS_INITIAL_PROBING = 57672;
// Format: device name.
inline constexpr int IDS_CHECKING_VERSION = 57673;
// Format: device name, country, then major and minor of model, hardware, software.
inline constexpr int IDS_DEVICE_SUMMARY = 57674;
inline constexpr int IDS_DEVICE_NOT_FOUND = 57675;
inline constexpr int IDS_DEVICE_IN_UPGRADE_MODE = 57676;
inline constexpr int IDS_SELECT_DEVICE = 57754;
inline constexpr int IDS_PREVIOUS_UPGRADE_FAILED = 57755;

// Transfer jobs and firmware upgrade.
inline constexpr int IDS_UPLOADING_CAPTION = 57677;
inline constexpr int IDS_DOWNLOADING_CAPTION = 57678;
inline constexpr int IDS_UPGRADING_CAPTION = 57679;
// File-dialog filter: pairs of "label|pattern", ended by "||".
inline constexpr int IDS_FIRMWARE_FILE_FILTER = 57680;
// Format: bytes sent (long), file size (long), whole percent, tenths of a percent.
inline constexpr int IDS_UPGRADE_PROGRESS = 57681;
inline constexpr int IDS_DOWNLOADING_STATUS = 57682;
inline constexpr int IDS_UPGRADE_WARNING = 57683;
inline constexpr int IDS_FIRMWARE_FILE_ERROR = 57703;
inline constexpr int IDS_UPGRADE_FAILED = 57713;

// Range messages of the pages: joined with the two limits by kTextLimitsFormat.
inline constexpr int IDS_VALID_LIMITS = 57756;

// Terminal log.
// File-dialog filter, as above.
inline constexpr int IDS_LOG_FILE_FILTER = 57688;
inline constexpr int IDS_LOG_START = 57689;
inline constexpr int IDS_LOG_STOP = 57690;
// Format: file path.
inline constexpr int IDS_LOG_OPEN_FAILED = 57691;

// Self-test list and results.
inline constexpr int IDS_RESULT_NOT_TESTED = 57684;
inline constexpr int IDS_RESULT_PASS = 57692;
inline constexpr int IDS_RESULT_FAIL = 57693;
inline constexpr int IDS_RESULT_INTERRUPTED = 57706;
inline constexpr int IDS_COLUMN_TEST_NAME = 57709;
inline constexpr int IDS_COLUMN_RESULT = 57710;
inline constexpr int IDS_COLUMN_ERROR = 57711;

// Self-test names (caption and list row).
inline constexpr int IDS_TEST_RING = 57695;
inline constexpr int IDS_TEST_HARDWARE_INTERFACE = 57696;
inline constexpr int IDS_TEST_INTERBOARD = 57697;
inline constexpr int IDS_TEST_HANDSET = 57698;
inline constexpr int IDS_TEST_DIALING = 57699;
inline constexpr int IDS_TEST_TONE = 57700;
inline constexpr int IDS_TEST_CHARGING = 57701;
// No test procedure shows it; kept so that the table stays complete.
inline constexpr int IDS_TEST_CALL_ID = 57702;

// Self-test descriptions.
inline constexpr int IDS_DESC_HARDWARE_INTERFACE = 57724;
inline constexpr int IDS_DESC_INTERBOARD = 57731;
inline constexpr int IDS_DESC_RING = 57705;
inline constexpr int IDS_DESC_HANDSET = 57714;
inline constexpr int IDS_DESC_DIALING = 57739;
inline constexpr int IDS_DESC_TONE = 57738;
inline constexpr int IDS_DESC_CHARGING = 57748;

// Self-test banners and prompts.
inline constexpr int IDS_TEST_IN_PROGRESS = 57685;
inline constexpr int IDS_TEST_IN_PROGRESS_WAIT = 57736;
inline constexpr int IDS_PLUG_PORT1 = 57719;
inline constexpr int IDS_PLUG_PORT2 = 57720;
inline constexpr int IDS_PLUG_PORT1_PICKUP = 57740;
inline constexpr int IDS_PLUG_PORT2_PICKUP = 57741;
inline constexpr int IDS_PROMPT_RINGING = 57704;
inline constexpr int IDS_PROMPT_HANDSET_DOWN = 57712;
inline constexpr int IDS_PROMPT_HANDSET_UP = 57717;
inline constexpr int IDS_TEST_BUTTON = 57722;
inline constexpr int IDS_PROMPT_VERIFY_D = 57725;
inline constexpr int IDS_PROMPT_VERIFY_B1 = 57726;
inline constexpr int IDS_PROMPT_VERIFY_B2 = 57727;
inline constexpr int IDS_PROMPT_VERIFY_INTERBOARD = 57734;
inline constexpr int IDS_PROMPT_HEAR_TONE = 57744;
// Format: the expected key (char).
inline constexpr int IDS_PROMPT_PRESS_KEY = 57747;
inline constexpr int IDS_PROMPT_CHARGING = 57751;
inline constexpr int IDS_PROMPT_PICKUP = 57752;

// Self-test faults.
// Joins the faults collected during one test.
inline constexpr int IDS_FAULT_SEPARATOR = 57723;
inline constexpr int IDS_FAULT_D_CHANNEL = 57728;
inline constexpr int IDS_FAULT_B1_CHANNEL = 57729;
inline constexpr int IDS_FAULT_B2_CHANNEL = 57730;
inline constexpr int IDS_FAULT_U_INTERFACE = 57732;
inline constexpr int IDS_FAULT_S_INTERFACE = 57733;
inline constexpr int IDS_FAULT_NO_RESPONSE = 57737;
inline constexpr int IDS_FAULT_RING1 = 57707;
inline constexpr int IDS_FAULT_RING2 = 57708;
inline constexpr int IDS_FAULT_HOOK1 = 57715;
inline constexpr int IDS_FAULT_HOOK2 = 57716;
inline constexpr int IDS_FAULT_DTMF1 = 57745;
inline constexpr int IDS_FAULT_DTMF2 = 57746;
inline constexpr int IDS_FAULT_TONE1 = 57742;
inline constexpr int IDS_FAULT_TONE2 = 57743;
inline constexpr int IDS_FAULT_CHARGE1 = 57749;
// The second generator's wording of IDS_FAULT_CHARGE1.
inline constexpr int IDS_FAULT_CHARGE2 = 57750;
// ---- Texts without a number ----

// Buttons shared by the dialogs.
inline constexpr std::string_view kTextOk = "OK";
inline constexpr std::string_view kTextCancel = "Cancel";
inline constexpr std::string_view kTextYes = "Yes";
inline constexpr std::string_view kTextNo = "No";

// Main window title and About box (whose product line is IDS_APP_TITLE).
inline constexpr std::string_view kTextTitleFormat = "%s  -  ver. %s ";  // app title, version
inline constexpr std::string_view kTextAboutCaption = "About varDex Configuration Manager";
inline constexpr std::string_view kTextAboutVersionFormat = "             Version %s\n";  // version
// The build's own version (project(VERSION)), under the version line.
inline constexpr std::string_view kTextAboutBuildFormat = "vardex-config %s";  // build version

// Page captions, in the order of the sheet.
inline constexpr std::string_view kTextPageInformation = "Information";
inline constexpr std::string_view kTextPageTelephony = "Telephony";
inline constexpr std::string_view kTextPageConnection = "Connection";
inline constexpr std::string_view kTextPageTerminal = "Terminal";
inline constexpr std::string_view kTextPageSelfTest = "Self Test";

// Device search and the device list.
inline constexpr std::string_view kTextNoTelephonyDevices =
    "There are no telephony devices installed.";
inline constexpr std::string_view kTextCallAlreadyHandled = "A call is already being handled.";
inline constexpr std::string_view kTextLineUnnamed = "Line Unnamed";
inline constexpr std::string_view kTextLineUnavailable = "Line Unavailable";
inline constexpr std::string_view kTextDirectToFormat = "Direct to %s";  // port name
inline constexpr std::string_view kTextDeviceListCaption = "varDex list";
inline constexpr std::string_view kTextDeviceListPrompt =
    "\rPlease select the attached varDex device you want to configure,  from the list below:";

// Progress dialog of the device jobs.
inline constexpr std::string_view kTextCommProgressCaption = "Communicating With varDex";
inline constexpr std::string_view kTextCancelConfirmCaption = "Cancel Confirmation";
inline constexpr std::string_view kTextCancelConfirmQuestion = "Sure you want to cancel the job?";
inline constexpr std::string_view kTextFaultsDetectedFormat =
    "Faults detected while transfering data (%d)";  // zero-based number of the last failing row
// The write sent and verified every setting, but the device did not confirm
// storing them into the profile asked for.
inline constexpr std::string_view kTextNotStoredFormat =
    "The settings are active in the varDex, but it did not confirm storing them in profile %d: "
    "they last only until the varDex is reset or switched off. Write them again to store "
    "them.";  // profile 0..3

// A read that the device answered in full, but refused some questions of: the
// commands, separated by commas.
inline constexpr std::string_view kTextRefusedQueriesFormat =
    "The varDex answered ERROR to %s: its firmware may not have these settings. What is shown "
    "for them was not read from the device, and it is not written back unless you change it.";

// Information page.
inline constexpr std::string_view kTextWelcome = "Welcome to the varDex Configuration Manager";
inline constexpr std::string_view kTextGeneralInformation = "General Information";
inline constexpr std::string_view kTextCountry = "Country";
inline constexpr std::string_view kTextModelVersion = "Model Version";
inline constexpr std::string_view kTextHardwareVersion = "Hardware Version";
inline constexpr std::string_view kTextFirmwareVersion = "Firmware Version";
inline constexpr std::string_view kTextCrc = "CRC";
inline constexpr std::string_view kTextVersionFormat = "%d.%d";  // major, minor
inline constexpr std::string_view kTextUpgradeButton = "&Upgrade ...";
inline constexpr std::string_view kTextOperatorOnlyUpgrade =
    "Upgrade can only be done by the operator, in this varDex version!";
inline constexpr std::string_view kTextChargingInformation = "Charging Information";
inline constexpr std::string_view kTextLastCall = "Last Call";
inline constexpr std::string_view kTextTotal = "Total";
inline constexpr std::string_view kTextPhone1 = "Phone #1";
inline constexpr std::string_view kTextPhone2 = "Phone #2";
inline constexpr std::string_view kTextDtePort = "DTE Port";
inline constexpr std::string_view kTextReset = "Reset";
inline constexpr std::string_view kTextProfileManagement = "Profile Management";
inline constexpr std::string_view kTextSource = "Source";
inline constexpr std::string_view kTextDestination = "Destination";
inline constexpr std::string_view kTextPowerUp = "Power-Up";
inline constexpr std::string_view kTextActiveProfile = "Active Profile";
inline constexpr std::string_view kTextProfile0 = "Profile #0";
inline constexpr std::string_view kTextProfile1 = "Profile #1";
inline constexpr std::string_view kTextProfile2 = "Profile #2";
inline constexpr std::string_view kTextProfile3 = "Profile #3";
inline constexpr std::string_view kTextFactoryDefaults = "Factory Defaults";
inline constexpr std::string_view kTextChangeTelephony =
    "I want to change the telephony settings of my varDex";
inline constexpr std::string_view kTextChangeConnection =
    "I want to change the connection settings of my varDex";
inline constexpr std::string_view kTextPressF1 = "Press F1 for help";

// Telephony page. The column headings are kTextAnalogPort1, kTextAnalogPort2 and kTextDtePort.
inline constexpr std::string_view kTextAnalogPort1 = "Analog Port 1";
inline constexpr std::string_view kTextAnalogPort2 = "Analog Port 2";
inline constexpr std::string_view kTextSubscriberNumber1 = "Subscriber Number #1";
inline constexpr std::string_view kTextSubscriberNumber2 = "Subscriber Number #2";
inline constexpr std::string_view kTextSubscriberNumber3 = "Subscriber Number #3";
inline constexpr std::string_view kTextOwnNumberBox = "D";
inline constexpr std::string_view kTextSupplementaryServices = "Supplementary Services";
inline constexpr std::string_view kTextCallWaiting = "Call Waiting (CW)";
inline constexpr std::string_view kTextClipOnCw = "CLIP on CW";
inline constexpr std::string_view kTextMeteringPulse = "Metering pulse on AOC";
inline constexpr std::string_view kTextDelayedClearBack = "Delayed Clear Back (DCB)";
inline constexpr std::string_view kTextNoIncomingMlppp = "No Incoming Calls on ML-PPP";
inline constexpr std::string_view kTextClir = "Calling Line Id Restrict (CLIR)";
inline constexpr std::string_view kTextColr = "Connect Line Id Restrict (COLR)";
inline constexpr std::string_view kTextMessageWaiting = "Message Waiting (MWI)";
inline constexpr std::string_view kTextConnectedTerminal = "Connected Terminal";
inline constexpr std::string_view kTextAnalogPhone = "Analog Phone";
inline constexpr std::string_view kTextG3Fax = "G3 Fax";
// The second port's list has always carried this item with a trailing blank.
inline constexpr std::string_view kTextG3FaxPort2 = "G3 Fax ";
inline constexpr std::string_view kTextAnalogModem = "Analog Modem";
inline constexpr std::string_view kTextModemLlcOctets = "Modem LLC Octets 5A, 5C, 5D";
inline constexpr std::string_view kTextOperational = "Operational";
inline constexpr std::string_view kTextFunctionalProtocol = "Functional Protocol";
inline constexpr std::string_view kTextKeypadProtocol = "Keypad Protocol";
inline constexpr std::string_view kTextClip = "Calling Line Id Presentation";
inline constexpr std::string_view kTextFullEmergencyMode = "Full Emergency Mode Functionality";
inline constexpr std::string_view kTextFlashDuration = "Flash Duration";
inline constexpr std::string_view kTextFlashUnit = "x10ms";
inline constexpr std::string_view kTextCallerIdentification = "Caller Identification";
inline constexpr std::string_view kTextTransmit = "Transmit";
inline constexpr std::string_view kTextBetweenRings = "Between 1st and 2nd ring.";
inline constexpr std::string_view kTextPriorToRinging = "Prior to ringing.";
inline constexpr std::string_view kTextFskLevel = "FSK Level";
inline constexpr std::string_view kTextOperatorNote =
    "NOTE : Please refer to the manual, for the operator's supported services";

// Validation messages of the pages and dialogs. kTextIntegerRange takes its limits
// as %1 and %2 (substituted by position, not printf); kTextLimitsFormat joins
// IDS_VALID_LIMITS with the lower and upper limit.
inline constexpr std::string_view kTextIntegerRange = "Please enter an integer between %1 and %2.";
inline constexpr std::string_view kTextPositiveInteger = "Please enter a positive integer.";
inline constexpr std::string_view kTextLimitsFormat = "%s %d - %d";
// IDS_VALID_LIMITS and the two limits through kTextLimitsFormat: "Valid limits: 20 - 100".
std::string FormatLimits(int lo, int hi);

// Connection page; the protocol radios are in the order of m_nProtocol.
inline constexpr std::string_view kTextProtocolPpp = "&PPP/Multilink PPP";
inline constexpr std::string_view kTextProtocolVoiceTransparent = "&Voice Transparent";
inline constexpr std::string_view kTextProtocolPppTransparent = "PPP &Transparent";
inline constexpr std::string_view kTextProtocolDataTransparent = "&Data Transparent";
inline constexpr std::string_view kTextProtocolV120 = "V.1&20";
inline constexpr std::string_view kTextProtocolV110 = "V.1&10";
inline constexpr std::string_view kTextProtocolX25 = "&X.25 on D channel";
inline constexpr std::string_view kTextPppAsyncToSync =
    "Asynchronous to Synchronous Conversion (64Kbs)";
inline constexpr std::string_view kTextPppMultilinkFixed = "Multilink Fixed (128Kbs)";
inline constexpr std::string_view kTextPppBandwidthOnDemand =
    "Multilink with Bandwidth On Demand (64Kbs or 128Kbs)";
inline constexpr std::string_view kTextBapSupport = "&BAP Support";
inline constexpr std::string_view kTextBapCallBack = "BAP &Call Back Permitted";
inline constexpr std::string_view kTextAddChannel = "Add a channel when the rate exceeds";
inline constexpr std::string_view kTextDropChannel = "Drop a channel when the rate drops below";
inline constexpr std::string_view kTextKbPerSecFor = "kb/sec for";
inline constexpr std::string_view kTextSecs = "secs.";

// X.25 properties dialog. Some labels carry a leading or trailing blank: kept as
// the dialog has always laid them out.
inline constexpr std::string_view kTextX25Caption = "X.25 Properties";
inline constexpr std::string_view kTextLinkType = "Link Type";
inline constexpr std::string_view kTextSvc = "SVC";
inline constexpr std::string_view kTextPvc = "PVC";
inline constexpr std::string_view kTextSpvc = "SPVC";
inline constexpr std::string_view kTextParameters = "Parameters";
inline constexpr std::string_view kTextOptions = "Options";
inline constexpr std::string_view kTextFacilities = "Facilities";
inline constexpr std::string_view kTextLayer2 = "Layer 2";
inline constexpr std::string_view kTextLayer3 = "Layer 3";
inline constexpr std::string_view kTextTei = "TEI :";
inline constexpr std::string_view kTextWindowSize = "Window size :";
inline constexpr std::string_view kTextPacketSize = "Packet size :";
inline constexpr std::string_view kTextPacketSize16 = "16";
inline constexpr std::string_view kTextPacketSize32 = "32";
inline constexpr std::string_view kTextPacketSize64 = "64";
inline constexpr std::string_view kTextPacketSize128 = "128";
inline constexpr std::string_view kTextLcn = "LCN :";
inline constexpr std::string_view kTextLic = "LIC :";
inline constexpr std::string_view kTextHic = "HIC :";
inline constexpr std::string_view kTextWaitForRestart = "Wait for Restart :";
inline constexpr std::string_view kTextDontWait = "Don't wait";
inline constexpr std::string_view kTextWait1Sec = "1 sec";
inline constexpr std::string_view kTextWait5Sec = "5 sec";
inline constexpr std::string_view kTextWait20Sec = "20 sec";
inline constexpr std::string_view kTextSendRestart = "Send Restart";
inline constexpr std::string_view kTextEnableCug = "Enable CUG ";
inline constexpr std::string_view kTextCugNumber = "CUG number :";
inline constexpr std::string_view kTextX121Address = " X.121 Address :";
inline constexpr std::string_view kTextPad = "PAD";
inline constexpr std::string_view kTextUsePad = "Use PAD interface";
inline constexpr std::string_view kTextMakePadCall = "Make X.28 PAD call";
inline constexpr std::string_view kTextDefaultPadProfile = "Use default PAD profile";
inline constexpr std::string_view kTextDefaultTransparentProfile = "Use default trasparent profle";

// Storage confirmation dialog.
inline constexpr std::string_view kTextStorageCaption = "Confirm for Permanent Storage";
inline constexpr std::string_view kTextStorageIntro =
    "This option lets you select the profile you want to save changes. \r"
    "Press \"Cancel\" to bypass this dialog.";
inline constexpr std::string_view kTextDestinationProfile = "Destination Profile";
inline constexpr std::string_view kTextStorageProfile0 = "Profile 0";
inline constexpr std::string_view kTextStorageProfile1 = "Profile 1";
inline constexpr std::string_view kTextStorageProfile2 = "Profile 2";
inline constexpr std::string_view kTextStorageProfile3 = "Profile 3";
inline constexpr std::string_view kTextMakePowerUpGroup = "Make this, Power-Up profile";
inline constexpr std::string_view kTextMakePowerUpCheck =
    "Check this \"box\", if you want to make the \"Destination Profile\", as \"Power-Up "
    "Profile\".";

// Self-test dialog (initial banner texts, replaced as soon as a test starts) and page.
inline constexpr std::string_view kTextSelfTestCaption = "Self Test Progress Dialog";
inline constexpr std::string_view kTextNameBanner = "Name banner";
inline constexpr std::string_view kTextPromptBanner = "Prompt banner";
inline constexpr std::string_view kTextDescriptionBanner = "Description banner";
inline constexpr std::string_view kTextTestSelected = "Test...";
inline constexpr std::string_view kTextTestAll = "Test All...";
inline constexpr std::string_view kTextTestNotPassed = "Test Not Passed...";
// Shown while Cancel's reset of the device's test circuits is under way.
inline constexpr std::string_view kTextSelfTestStopping = "Stopping the test...";
// A test ended because the device stopped being there (unplugged, switched off,
// its port server gone): nothing it found can be trusted.
inline constexpr std::string_view kTextDeviceVanished =
    "The connection to the varDex was lost: the test was interrupted.\n"
    "Check the cable and the power of the varDex, then run the test again.";
// A read, write or upgrade whose device went away under it (unplugged,
// switched off, its port server gone): the device was there, so "not found"
// would send the person the wrong way.
inline constexpr std::string_view kTextJobDeviceVanished =
    "The connection to the varDex was lost: the job was interrupted, and what it had not done "
    "yet was not done.\n"
    "Check the cable and the power of the varDex, then try again.";

// Terminal page. The log button's template text is replaced by IDS_LOG_START at
// first display.
inline constexpr std::string_view kTextTrace = "Trace";
inline constexpr std::string_view kTextTraceU = "U";
inline constexpr std::string_view kTextTraceL1 = "L1";
inline constexpr std::string_view kTextTraceL2 = "L2";
inline constexpr std::string_view kTextTraceL3 = "L3";
inline constexpr std::string_view kTextTraceApp = "App";
inline constexpr std::string_view kTextLogButtonTemplate = "File...";

// This program's own texts for what the desktop does not provide (the sheet's
// Apply button, the window menu, the help window).
inline constexpr std::string_view kTextApply = "&Apply";
inline constexpr std::string_view kTextWindowMenu = "Window menu";
inline constexpr std::string_view kTextHelpOnPage = "&Help on this page";
inline constexpr std::string_view kTextHelpWindowSuffix = " Help";
// Asked when the window is closed with changes not yet applied.
inline constexpr std::string_view kTextUnappliedChanges =
    "Some changes have not been applied to the varDex yet.\n"
    "Apply them before closing?";
inline constexpr std::string_view kTextDiscard = "&Discard";
inline constexpr std::string_view kTextKeepEditing = "&Keep editing";
// What a screen reader says where the window shows no text of its own: each
// modem LLC octet's edit, and the arrows beside a number.
inline constexpr std::string_view kTextLlcOctetNames[] = {"LLC Octet 5A", "LLC Octet 5C",
                                                          "LLC Octet 5D"};
inline constexpr std::string_view kTextStepUp = "Up";
// The Connection page's two groups, which show no title.
inline constexpr std::string_view kTextProtocolGroup = "Protocol";
inline constexpr std::string_view kTextPppGroup = "PPP options";
inline constexpr std::string_view kTextStepDown = "Down";

}  // namespace vardex::res
