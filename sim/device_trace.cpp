// Protocol trace output. "ATCD<n>" switches come in one line, each "CD<n>":
// 0/1 layer 1 off/on, 2/3 layer 2, 4/5 layer 3, 6/7 application, 10/11 U
// interface; 8 stops the trace output, 9 sends it to the serial data port, 26
// to the USB line. This simulator has one line, so 9 and 26 both send it there.
// While the output and at least one layer are on, a trace line of one of the
// layers goes out every 0.5 to 1.5 s, unasked.
#include <algorithm>
#include <cstdio>

#include "device.h"
#include "device_text.h"

namespace vardex::sim {
namespace {

constexpr unsigned kOutputOff = 8;
constexpr unsigned kOutputSerial = 9;
constexpr unsigned kOutputUsb = 26;
constexpr unsigned kLayerSwitchMax = 11;
constexpr std::int64_t kTraceMinGapMs = 500;
constexpr std::uint32_t kTraceGapSpreadMs = 1000;
constexpr unsigned kLayers = 6;

std::uint32_t NextRandom(std::uint32_t* seed) {
    // xorshift32: cheap, deterministic, good enough for timing and filler.
    std::uint32_t x = *seed;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *seed = x;
    return x;
}

}  // namespace

Device::Reply Device::DoTrace(std::string_view args) {
    bool output = trace_output_;
    unsigned layers = trace_layers_;
    bool first = true;
    while (first || !args.empty()) {
        if (!first) {
            if (!StartsWithNoCase(args, "CD")) {
                return Error();
            }
            args.remove_prefix(2);
        }
        first = false;
        unsigned n = 0;
        if (!ReadDecimal(&args, &n)) {
            return Error();
        }
        if (n == kOutputOff) {
            output = false;
        } else if (n == kOutputSerial || n == kOutputUsb) {
            output = true;
        } else if (n <= kLayerSwitchMax) {
            const unsigned bit = 1u << (n / 2);
            layers = (n % 2) != 0 ? (layers | bit) : (layers & ~bit);
        } else {
            return Error();
        }
    }
    trace_output_ = output;
    trace_layers_ = layers;
    ScheduleTrace();
    return Ok();
}

void Device::ScheduleTrace() {
    if (!trace_output_ || trace_layers_ == 0 || mode_ == Mode::kLoader) {
        trace_due_ = kNever;
        return;
    }
    if (trace_due_ == kNever || trace_due_ <= now_ms_) {
        trace_due_ = now_ms_ + kTraceMinGapMs +
                     static_cast<std::int64_t>(NextRandom(&trace_seed_) % kTraceGapSpreadMs);
    }
}

void Device::EmitTrace() {
    // Round robin over the layers that are on.
    unsigned layer = trace_count_ % kLayers;
    for (unsigned i = 0; i < kLayers && (trace_layers_ & (1u << layer)) == 0; ++i) {
        layer = (layer + 1) % kLayers;
    }
    if ((trace_layers_ & (1u << layer)) == 0) {
        return;
    }
    const std::uint32_t count = trace_count_++;
    const std::uint32_t r = NextRandom(&trace_seed_);
    const double seconds = static_cast<double>(now_ms_) / 1000.0;
    char line[160];
    switch (static_cast<TraceLayer>(layer)) {
        case TraceLayer::kL1:
            std::snprintf(line, sizeof line, "[%10.3f] L1  %s", seconds,
                          (count & 1u) != 0 ? "INFO 4 received, state F7 (activated)"
                                            : "INFO 2 received, state F6 (synchronized)");
            break;
        case TraceLayer::kL2:
            std::snprintf(line, sizeof line, "[%10.3f] L2  %s SAPI=0 TEI=%u N(R)=%u", seconds,
                          (count & 1u) != 0 ? "<- RR" : "-> RR", 64 + (r % 8), count % 128);
            break;
        case TraceLayer::kL3: {
            static constexpr const char* kMessages[] = {"SETUP",   "CALL PROC",  "ALERTING",
                                                        "CONNECT", "DISCONNECT", "RELEASE"};
            std::snprintf(line, sizeof line, "[%10.3f] L3  %s %s CR=%02X", seconds,
                          (r & 1u) != 0 ? "<-" : "->", kMessages[count % 6], (r >> 8) % 128);
            break;
        }
        case TraceLayer::kApp:
            std::snprintf(line, sizeof line, "[%10.3f] APP Phone 1 %s, Phone 2 %s, DTE idle",
                          seconds, pots_[0].off_hook ? "off hook" : "on hook",
                          pots_[1].off_hook ? "off hook" : "on hook");
            break;
        case TraceLayer::kU:
            std::snprintf(line, sizeof line, "[%10.3f] U   2B1Q sync ok, block errors %u", seconds,
                          r % 3);
            break;
        default:
            std::snprintf(line, sizeof line, "[%10.3f] TRC", seconds);
            break;
    }
    SendUnsolicited(std::string(line) + "\r\n");
}

void Device::SetTraceFlood(std::uint32_t bytes_per_second, std::int64_t duration_ms) {
    flood_rate_ = bytes_per_second;
    flood_start_ = now_ms_;
    flood_sent_ = 0;
    flood_until_ = bytes_per_second != 0 && duration_ms > 0 ? now_ms_ + duration_ms : kNever;
}

void Device::EmitFlood() {
    // Whole lines only, so that the device's own trace lines never land inside
    // one; the rate holds over any stretch longer than a line.
    const std::int64_t end = std::min(now_ms_, flood_until_);
    const auto due = static_cast<std::uint64_t>(end - flood_start_) * flood_rate_ / 1000;
    std::string out;
    while (flood_sent_ + kFloodLineBytes <= due) {
        char head[48];
        std::snprintf(head, sizeof head, "FLOOD %010u [%10.3f] ", flood_lines_++,
                      static_cast<double>(now_ms_) / 1000.0);
        std::string line = head;
        for (int i = 0; line.size() < kFloodLineBytes - 2; ++i) {
            line.push_back(static_cast<char>('a' + i % 26));
        }
        line.resize(kFloodLineBytes - 2);
        line += "\r\n";
        out += line;
        flood_sent_ += kFloodLineBytes;
        flood_total_ += kFloodLineBytes;
    }
    if (!out.empty()) {
        SendUnsolicited(out);
    }
    if (now_ms_ >= flood_until_) {
        flood_rate_ = 0;
        flood_until_ = kNever;
    }
}

}  // namespace vardex::sim
