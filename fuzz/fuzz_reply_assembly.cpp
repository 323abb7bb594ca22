// The exchange's reply assembly: the echo, a leading line break, NUL bytes, the
// buffer's limit, whatever the device sends and however the reads cut it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "link/reply_assembly.h"

using namespace vardex::link;

using vardex::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The command line (up to 126 characters and its CR), the read lengths,
    // then the device's bytes.
    if (size < 2) {
        return 0;
    }
    const std::size_t text = data[0] % 127;
    const std::size_t chunk_seed = data[1];
    const std::uint8_t* rest = data + 2;
    std::size_t left = size - 2;
    const std::size_t take = text < left ? text : left;
    std::string line(reinterpret_cast<const char*>(rest), take);
    line.push_back('\r');
    rest += take;
    left -= take;
    const std::string_view device(reinterpret_cast<const char*>(rest), left);

    constexpr std::size_t kCapacity = 4096;
    std::vector<char> reply(kCapacity + 16, '\x5A');
    std::size_t offered = 0;
    std::size_t reads = 0;
    std::size_t first_read = 0;
    const std::size_t length = AssembleReply(
        line, reply.data(), kCapacity, [&](char* into, std::size_t room) -> std::size_t {
            Check(into >= reply.data() && into + room <= reply.data() + kCapacity - 1 + 1);
            // Reads of varying length, as the timing of a real line cuts them.
            const std::size_t want = 1 + (chunk_seed * 7 + reads * 13) % 200;
            ++reads;
            std::size_t n = want < room ? want : room;
            n = n < device.size() - offered ? n : device.size() - offered;
            std::memcpy(into, device.data() + offered, n);
            offered += n;
            if (reads == 1) {
                first_read = n;
            }
            return n;
        });
    Check(length <= kCapacity - 1);
    Check(reply[length] == '\0');
    Check(reply[kCapacity] == '\x5A');  // nothing written past the buffer
    // The reply is what came, less an echo that the first read brought whole,
    // and one leading line break. A cut echo is the start of the reply.
    const std::string_view got(reply.data(), length);
    std::string_view came = device.substr(0, offered);
    if (first_read == line.size() && came.substr(0, line.size()) == line) {
        came.remove_prefix(line.size());
    }
    if (came.substr(0, 2) == "\r\n") {
        came.remove_prefix(2);
    }
    Check(got == came);

    // The early end on a final result code: the same bounds, and the reply is
    // always the tail of what came (an echo, lines before it, a line break cut).
    std::vector<char> early(kCapacity + 16, '\x5A');
    offered = 0;
    reads = 0;
    const auto read = [&](char* into, std::size_t room) -> std::size_t {
        Check(into >= early.data() && into + room <= early.data() + kCapacity - 1);
        const std::size_t want = 1 + (chunk_seed * 7 + reads * 13) % 200;
        ++reads;
        std::size_t n = want < room ? want : room;
        n = n < device.size() - offered ? n : device.size() - offered;
        std::memcpy(into, device.data() + offered, n);
        offered += n;
        return n;
    };
    const bool guard_hears = (chunk_seed & 1) != 0;
    bool ended_early = false;  // either way is right here
    const std::size_t early_length = AssembleReplyEarly(
        line, early.data(), kCapacity, read,
        [&](char* into, std::size_t room) { return guard_hears ? read(into, room) : 0; },
        (chunk_seed & 2) != 0, &ended_early);
    Check(early_length <= kCapacity - 1);
    Check(early[early_length] == '\0');
    Check(early[kCapacity] == '\x5A');
    Check(device.substr(0, offered).ends_with(std::string_view(early.data(), early_length)));
    return 0;
}
