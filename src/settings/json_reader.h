// The reader of a JSON object of fields, as `read --json` prints one and
// `write --from` takes it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/expected.h"
#include "settings/record_fields.h"

namespace vardex::settings {

// Reads one JSON object whose values are texts, lists (at most 8 inside one
// another), whole numbers that fit 64 bits, true, false or null: no object
// inside it and no key twice. Texts are bytes: a byte of the input stands for
// itself, whatever its value, and a \u escape may name only 00..ff. Its
// members in order, or the first fault: what, and "(at byte N)" where.
platform::Expected<std::vector<std::pair<std::string, FieldValue>>> ReadFieldsObject(
    const std::string& text);

// Reads a settings file whole; a failure for a file that is missing or
// unreadable, not a regular file (a FIFO would wait for a writer, a device
// might never end) or larger than 1 MiB.
platform::Expected<std::string> ReadSettingsFile(const std::string& path);

}  // namespace vardex::settings
