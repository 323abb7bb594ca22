#include "rfc2217_codec.h"

namespace vardex::platform::telnet {
namespace {

constexpr bool WeWill(std::uint8_t option) {
    return option == kOptComPort || option == kOptBinary || option == kOptSuppressGoAhead;
}

constexpr bool TheyMay(std::uint8_t option) {
    return option == kOptBinary || option == kOptSuppressGoAhead;
}

}  // namespace

void AppendEscaped(const std::uint8_t* data, std::size_t size, std::string* out) {
    for (std::size_t i = 0; i < size; ++i) {
        out->push_back(static_cast<char>(data[i]));
        if (data[i] == kIac) {
            out->push_back(static_cast<char>(kIac));
        }
    }
}

std::string Negotiation(std::uint8_t verb, std::uint8_t option) {
    return {static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
}

std::string ComPortCommand(std::uint8_t command, const std::uint8_t* value, std::size_t size) {
    std::string out = {static_cast<char>(kIac), static_cast<char>(kSb),
                       static_cast<char>(kOptComPort), static_cast<char>(command)};
    AppendEscaped(value, size, &out);
    out.push_back(static_cast<char>(kIac));
    out.push_back(static_cast<char>(kSe));
    return out;
}

std::string ComPortCommand(std::uint8_t command, std::uint8_t value) {
    return ComPortCommand(command, &value, 1);
}

std::string ComPortBaudRate(std::uint32_t rate) {
    const std::uint8_t value[4] = {
        static_cast<std::uint8_t>(rate >> 24), static_cast<std::uint8_t>(rate >> 16),
        static_cast<std::uint8_t>(rate >> 8), static_cast<std::uint8_t>(rate)};
    return ComPortCommand(kSetBaudRate, value, sizeof value);
}

void Decoder::Feed(const std::uint8_t* data, std::size_t size, Handler* handler) {
    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t byte = data[i];
        switch (state_) {
            case State::kData: {
                // The line's bytes up to the next IAC go out in one piece.
                std::size_t end = i;
                while (end < size && data[end] != kIac) {
                    ++end;
                }
                if (end > i) {
                    handler->OnData(data + i, end - i);
                }
                if (end < size) {
                    state_ = State::kCommand;
                }
                i = end + 1;
                continue;
            }
            case State::kCommand:
                if (byte == kIac) {
                    handler->OnData(&byte, 1);
                    state_ = State::kData;
                } else if (byte >= kWill && byte <= kDont) {
                    verb_ = byte;
                    state_ = State::kVerb;
                } else if (byte == kSb) {
                    sub_size_ = 0;
                    sub_overran_ = false;
                    state_ = State::kSub;
                } else {
                    // NOP, go-ahead, a stray SE and the rest mean nothing to a port.
                    state_ = State::kData;
                }
                break;
            case State::kVerb:
                state_ = State::kData;
                handler->OnNegotiation(verb_, byte);
                break;
            case State::kSub:
                if (byte == kIac) {
                    state_ = State::kSubCommand;
                } else if (sub_size_ < sub_.size()) {
                    sub_[sub_size_++] = byte;
                } else {
                    sub_overran_ = true;
                }
                break;
            case State::kSubCommand:
                if (byte == kIac) {
                    if (sub_size_ < sub_.size()) {
                        sub_[sub_size_++] = byte;
                    } else {
                        sub_overran_ = true;
                    }
                    state_ = State::kSub;
                } else if (byte == kSe) {
                    state_ = State::kData;
                    if (!sub_overran_) {
                        handler->OnSubnegotiation(sub_.data(), sub_size_);
                    }
                } else {
                    // A command inside a sub-negotiation ends it unread: the
                    // server lost its way, and the command counts on its own.
                    state_ = State::kCommand;
                    continue;
                }
                break;
        }
        ++i;
    }
}

std::string Session::Greeting() {
    std::string out;
    for (const std::uint8_t option : {kOptComPort, kOptBinary, kOptSuppressGoAhead}) {
        ours_asked_[option] = true;
        out += Negotiation(kWill, option);
    }
    for (const std::uint8_t option : {kOptBinary, kOptSuppressGoAhead}) {
        theirs_asked_[option] = true;
        out += Negotiation(kDo, option);
    }
    return out;
}

void Session::Receive(const std::uint8_t* bytes, std::size_t size, std::string* data,
                      std::string* reply) {
    data_ = data;
    reply_ = reply;
    decoder_.Feed(bytes, size, this);
    data_ = nullptr;
    reply_ = nullptr;
}

void Session::OnData(const std::uint8_t* data, std::size_t size) {
    data_->append(reinterpret_cast<const char*>(data), size);
}

void Session::OnNegotiation(std::uint8_t verb, std::uint8_t option) {
    // Only a change of state is answered, a refusal once per option and changes
    // only so often: a server that repeats itself, or keeps changing its mind,
    // cannot make us talk without end.
    switch (verb) {
        case kDo:
            if (option == kOptComPort) {
                com_port_answered_ = true;
                com_port_agreed_ = true;
            }
            if (!WeWill(option)) {
                if (!ours_refused_[option]) {
                    ours_refused_[option] = true;
                    *reply_ += Negotiation(kWont, option);
                }
            } else if (ours_asked_[option]) {
                ours_asked_[option] = false;
                ours_[option] = true;
            } else if (!ours_[option] && MayChange(option)) {
                ours_[option] = true;
                *reply_ += Negotiation(kWill, option);
            }
            break;
        case kDont:
            if (option == kOptComPort) {
                com_port_answered_ = true;
                com_port_agreed_ = false;
            }
            if (ours_asked_[option]) {
                ours_asked_[option] = false;
                ours_[option] = false;
            } else if (ours_[option] && MayChange(option)) {
                ours_[option] = false;
                *reply_ += Negotiation(kWont, option);
            }
            break;
        case kWill:
            if (!TheyMay(option)) {
                if (!theirs_refused_[option]) {
                    theirs_refused_[option] = true;
                    *reply_ += Negotiation(kDont, option);
                }
            } else if (theirs_asked_[option]) {
                theirs_asked_[option] = false;
                theirs_[option] = true;
            } else if (!theirs_[option] && MayChange(option)) {
                theirs_[option] = true;
                *reply_ += Negotiation(kDo, option);
            }
            break;
        case kWont:
            if (theirs_asked_[option]) {
                theirs_asked_[option] = false;
                theirs_[option] = false;
            } else if (theirs_[option] && MayChange(option)) {
                theirs_[option] = false;
                *reply_ += Negotiation(kDont, option);
            }
            break;
        default:
            break;
    }
}

bool Session::MayChange(std::uint8_t option) {
    if (changes_[option] >= kMaxChanges) {
        return false;
    }
    ++changes_[option];
    return true;
}

void Session::OnSubnegotiation(const std::uint8_t* body, std::size_t size) {
    if (size < 2 || body[0] != kOptComPort || body[1] < kServerOffset) {
        return;
    }
    ++com_port_answers_;
    const std::uint8_t command = body[1] - kServerOffset;
    if (command == kNotifyModemState && size >= 3) {
        // The low half tells which lines changed. All lines off with no change
        // is what a server reports of a port without modem lines, such as a
        // pseudo-terminal: that counts as no report, as on the pseudo-terminal.
        if (body[2] != 0) {
            modem_state_known_ = true;
        }
        modem_state_ = body[2] & 0xF0;
    } else if (command == kSetBaudRate && size >= 6) {
        baud_answered_ = true;
        confirmed_baud_ = static_cast<std::uint32_t>(body[2]) << 24 |
                          static_cast<std::uint32_t>(body[3]) << 16 |
                          static_cast<std::uint32_t>(body[4]) << 8 | body[5];
    }
}

}  // namespace vardex::platform::telnet
