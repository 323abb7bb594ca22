// When an exchange may end. The device's reply normally ends in a final result
// code ("OK", "ERROR", or a prompt that waits for the person); once it has come
// and a short guard time stayed silent, the next command may go. The slower
// timing waits a whole silent read time-out after every reply, for a device
// that drops a command line sent soon after its reply.
#pragma once

#include <string_view>

namespace vardex::link {

enum class ExchangeTiming {
    kFinalResult,  // end on the final result code plus the guard time
    kSilence,      // end only after a whole silent read time-out
};

// From VARDEX_EXCHANGE, read once: "design" gives kSilence; anything else, or
// nothing, kFinalResult. SetExchangeTiming overrides it for the rest of the
// process (a command-line option, a test).
ExchangeTiming CurrentExchangeTiming();
void SetExchangeTiming(ExchangeTiming timing);
// The setting from an environment value (null: unset).
ExchangeTiming ExchangeTimingFromText(const char* text);

}  // namespace vardex::link
