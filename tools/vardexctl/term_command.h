// `vardexctl term` and `vardexctl trace`: the device's raw output in the
// person's own terminal, converted as the program's terminal screen converts it.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vardex::ctl {

// The byte that leaves `term`: Ctrl+] (GS), as serial terminals usually have it.
inline constexpr unsigned char kTermLeaveByte = 0x1D;

// args are the words after "term". Reads the keys from standard input (raw
// mode while it is a terminal, restored on every way out), prints what the
// device sends on standard output; messages go to err.
int RunTerm(const std::vector<std::string>& args, std::ostream& err);

// args are the words after "trace". Prints what the device sends until Ctrl+C
// or the given seconds; every trace is switched off on the way out.
int RunTrace(const std::vector<std::string>& args, std::ostream& err);

// Turns typed UTF-8 into the device's Latin-1 bytes: a character outside
// Latin-1, or bytes that are not UTF-8, send nothing. Keeps the state of a
// character split across reads.
class Latin1Keys {
public:
    // Appends the bytes to send for `typed` to *out.
    void Take(std::string_view typed, std::string* out);

private:
    char32_t m_code = 0;
    int m_nMissing = 0;    // continuation bytes still to come
    bool m_bDrop = false;  // the character is beyond Latin-1
};

}  // namespace vardex::ctl
