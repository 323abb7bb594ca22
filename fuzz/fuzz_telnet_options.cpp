// The telnet layer of a network port: whatever a port server sends and however
// the socket cuts it, the line's bytes and our answers are the same, bounded,
// and the line's own bytes pass the escaping intact.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "platform/rfc2217_codec.h"

using namespace vardex::platform;

using vardex::fuzz::Check;
using vardex::platform::telnet::Session;

namespace {

struct Outcome {
    std::string data;
    std::string reply;
    bool modem_known = false;
    std::uint8_t modem = 0;
    bool agreed = false;
};

Outcome Run(const std::uint8_t* bytes, std::size_t size, std::size_t seed) {
    Session session;
    (void)session.Greeting();
    Outcome out;
    std::size_t at = 0;
    std::size_t reads = 0;
    while (at < size) {
        std::size_t n = seed == 0 ? size : 1 + (seed * 7 + reads * 13) % 37;
        n = n < size - at ? n : size - at;
        session.Receive(bytes + at, n, &out.data, &out.reply);
        at += n;
        ++reads;
    }
    out.modem_known = session.ModemStateKnown();
    out.modem = session.ModemState();
    out.agreed = session.ComPortAgreed();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t seed = data[0];
    const std::uint8_t* bytes = data + 1;
    const std::size_t length = size - 1;

    const Outcome whole = Run(bytes, length, 0);
    const Outcome cut = Run(bytes, length, seed + 1);
    Check(whole.data == cut.data);
    Check(whole.reply == cut.reply);
    Check(whole.modem_known == cut.modem_known && whole.modem == cut.modem);
    Check(whole.agreed == cut.agreed);
    // Never more line bytes than came, never more talk than was asked for.
    Check(whole.data.size() <= length);
    Check(whole.reply.size() <= length);
    Check((whole.modem & 0x0F) == 0);

    // The line's bytes, escaped, come back unchanged.
    std::string escaped;
    vardex::platform::telnet::AppendEscaped(bytes, length, &escaped);
    const Outcome back =
        Run(reinterpret_cast<const std::uint8_t*>(escaped.data()), escaped.size(), seed + 1);
    Check(back.data == std::string(reinterpret_cast<const char*>(bytes), length));
    Check(back.reply.empty());
    return 0;
}
