// Runs a test under one exchange timing and puts the old one back afterwards.
#pragma once

#include "link/exchange_timing.h"

namespace vardex::test {

class ScopedExchangeTiming {
public:
    explicit ScopedExchangeTiming(link::ExchangeTiming timing)
        : old_(link::CurrentExchangeTiming()) {
        link::SetExchangeTiming(timing);
    }
    ~ScopedExchangeTiming() { link::SetExchangeTiming(old_); }
    ScopedExchangeTiming(const ScopedExchangeTiming&) = delete;
    ScopedExchangeTiming& operator=(const ScopedExchangeTiming&) = delete;

private:
    link::ExchangeTiming old_;
};

}  // namespace vardex::test
