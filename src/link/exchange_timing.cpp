#include "link/exchange_timing.h"

#include <atomic>
#include <cstdlib>

#include "platform/environment.h"

namespace vardex::link {

namespace {

std::atomic<ExchangeTiming>& TimingSlot() {
    static std::atomic<ExchangeTiming> slot{
        ExchangeTimingFromText(std::getenv(vardex::platform::env::kExchange))};
    return slot;
}

}  // namespace

ExchangeTiming ExchangeTimingFromText(const char* text) {
    return text != nullptr && std::string_view(text) == "design" ? ExchangeTiming::kSilence
                                                                 : ExchangeTiming::kFinalResult;
}

ExchangeTiming CurrentExchangeTiming() {
    return TimingSlot().load(std::memory_order_relaxed);
}

void SetExchangeTiming(ExchangeTiming timing) {
    TimingSlot().store(timing, std::memory_order_relaxed);
}

}  // namespace vardex::link
