// Runs a test under one exchange timing and puts the old one back afterwards.
#pragma once

#include "link/exchange_timing.h"

namespace vardex::test {

class ScopedExchangeTiming {
public:
    explicit ScopedExchangeTiming(ExchangeTiming timing) : old_(CurrentExchangeTiming()) {
        SetExchangeTiming(timing);
    }
    ~ScopedExchangeTiming() { SetExchangeTiming(old_); }
    ScopedExchangeTiming(const ScopedExchangeTiming&) = delete;
    ScopedExchangeTiming& operator=(const ScopedExchangeTiming&) = delete;

private:
    ExchangeTiming old_;
};

}  // namespace vardex::test
