// How identification reads the device's first answers: the loader, a pending
// question, a console prompt, a model it recognises, and the version replies.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "device/identity_parse.h"
#include "fuzz_check.h"

using vardex::fuzz::Check;
namespace id = vardex::device::identity;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    const id::FirstAnswer first = id::ClassifyFirstAnswer(reply);
    const bool model = id::RecognisedModel(reply);
    if (model) {
        // A recognised model is a complete "OK" reply beginning with the name:
        // never a loader, a question or a console at the same time.
        Check(first == id::FirstAnswer::kOther);
        Check(reply.starts_with(id::kModelKeyword));
        Check(reply.ends_with("OK\r\n"));
        Check(id::VersionReply(reply, id::kModelKeyword));
    }
    if (first == id::FirstAnswer::kLoader) {
        Check(!reply.empty() && static_cast<unsigned char>(reply[0]) == 0x15);
    }
    for (const std::string_view keyword : {id::kHardwareKeyword, id::kSoftwareKeyword}) {
        if (id::VersionReply(reply, keyword)) {
            // An answer: nothing outside printable text, tabs and line breaks.
            for (const char c : reply) {
                const auto u = static_cast<unsigned char>(c);
                Check((u >= 0x20 && u < 0x7F) || c == '\r' || c == '\n' || c == '\t');
            }
        }
    }
    return 0;
}
