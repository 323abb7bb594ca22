// How long SendCommand takes beyond the waits its algorithm must make.
//
// After the device's last byte, the exchange ends only after the read that
// brought the reply has seen the interval time-out pass, that read's next
// request has run into the total time-out with nothing, and one more read has
// come back empty: interval + 2 x total. Anything above that floor is our own
// overhead, measured from the moment the scripted device finished writing.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/device_port.h"
#include "link/tapi_line.h"
#include "platform/vtime.h"
#include "scripted_peer.h"

using namespace vardex::link;

int main(int argc, char** argv) {
    int iterations = 8;
    if (argc > 1) {
        iterations = std::max(1, std::atoi(argv[1]));
    }
    constexpr std::uint32_t kTotal =
        kExchangeReadMs;  // the ordinary exchange's total read time-out
    constexpr std::uint32_t kInterval = kReadIntervalMs;  // the configured interval time-out
    const double floor_ms =
        static_cast<double>(vardex::platform::ScaledMs(kInterval + 2 * kTotal).count()) / 1000.0;

    for (const bool echo : {true, false}) {
        vardex::test::ScriptedPeer peer(
            [](const std::string& line) {
                if (line == "ATI4") {
                    return std::string("\r\nCalvetra VarDex V1.2\r\n\r\nOK\r\n");
                }
                return std::string("\r\nOK\r\n");
            },
            echo);
        CDevicePort port;
        if (port.Line().OpenPort(peer.SlavePath(), kLineBaud) != OpenResult::kOk) {
            std::fprintf(stderr, "cannot open %s\n", peer.SlavePath().c_str());
            return 1;
        }
        port.SetReadTimeout(kTotal);
        std::vector<double> excess;
        for (int i = 0; i < iterations; ++i) {
            if (port.SendCommand("ATI4") == nullptr) {
                std::fprintf(stderr, "link down\n");
                return 1;
            }
            const auto returned = vardex::platform::Clock::now();
            const double after_last_byte =
                std::chrono::duration<double, std::milli>(returned - peer.LastSendTime()).count();
            excess.push_back(after_last_byte - floor_ms);
        }
        std::sort(excess.begin(), excess.end());
        double sum = 0;
        for (const double e : excess) {
            sum += e;
        }
        const double mean = sum / static_cast<double>(excess.size());
        std::printf(
            "SendCommand(\"ATI4\"), echo %-3s: floor %.1f ms (interval %u + 2 x total %u, scale "
            "%.2f); last byte to return: mean %.2f ms, median %.2f ms, max %.2f ms; excess over "
            "floor: mean %.2f ms, max %.2f ms (ratio %.4f) over %d commands\n",
            echo ? "on" : "off", floor_ms, kInterval, kTotal, vardex::platform::TimeScale(),
            floor_ms + mean, floor_ms + excess[excess.size() / 2], floor_ms + excess.back(), mean,
            excess.back(), (floor_ms + mean) / floor_ms, iterations);
        if (excess.back() >= 5.0) {
            std::printf("  excess of %.2f ms exceeds the 5 ms budget\n", excess.back());
        }
    }
    return 0;
}
