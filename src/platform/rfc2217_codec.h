// The telnet layer of a serial port reached over TCP with the com-port option:
// what comes from the port server is split into the line's own bytes and the
// server's negotiation and notifications; what goes to it is escaped. No I/O
// here: the socket transport feeds bytes in and sends what comes out.
//
// Everything from the network is untrusted: the buffers are bounded, a
// sub-negotiation too long to be ours is skipped whole, and no sequence of
// bytes makes the decoder stop or answer without end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vardex::platform::telnet {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kOptBinary = 0;
inline constexpr std::uint8_t kOptSuppressGoAhead = 3;
inline constexpr std::uint8_t kOptComPort = 44;

// Com-port commands from the client; the server answers with the same plus 100.
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kSetControl = 5;
inline constexpr std::uint8_t kNotifyLineState = 6;
inline constexpr std::uint8_t kNotifyModemState = 7;
inline constexpr std::uint8_t kSetModemStateMask = 11;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerOffset = 100;

inline constexpr std::uint8_t kControlDtrOn = 8;
inline constexpr std::uint8_t kControlDtrOff = 9;
inline constexpr std::uint8_t kPurgeReceive = 1;
inline constexpr std::uint8_t kPurgeTransmit = 2;
inline constexpr std::uint8_t kPurgeBoth = 3;

// The line's bytes with every IAC doubled, appended to out.
void AppendEscaped(const std::uint8_t* data, std::size_t size, std::string* out);
// IAC verb option.
std::string Negotiation(std::uint8_t verb, std::uint8_t option);
// IAC SB COM-PORT-OPTION command value... IAC SE, the value escaped.
std::string ComPortCommand(std::uint8_t command, const std::uint8_t* value, std::size_t size);
std::string ComPortCommand(std::uint8_t command, std::uint8_t value);
std::string ComPortBaudRate(std::uint32_t rate);

// Splits the server's stream. Holds only the state of a command cut between two
// reads; a sub-negotiation body is kept up to kMaxSubnegotiation bytes.
class Decoder {
public:
    static constexpr std::size_t kMaxSubnegotiation = 64;

    struct Handler {
        virtual ~Handler() = default;
        virtual void OnData(const std::uint8_t* data, std::size_t size) = 0;
        virtual void OnNegotiation(std::uint8_t verb, std::uint8_t option) = 0;
        // The body after IAC SB, unescaped, without IAC SE. Not called for a body
        // that overran the limit.
        virtual void OnSubnegotiation(const std::uint8_t* body, std::size_t size) = 0;
    };

    void Feed(const std::uint8_t* data, std::size_t size, Handler* handler);

private:
    enum class State { kData, kCommand, kVerb, kSub, kSubCommand };
    State state_ = State::kData;
    std::uint8_t verb_ = 0;
    std::array<std::uint8_t, kMaxSubnegotiation> sub_{};
    std::size_t sub_size_ = 0;
    bool sub_overran_ = false;
};

// The client's side of the options: which it asked for, what the server agreed
// to, the modem state it last reported. Answers the server's requests so that
// a server repeating them gets no answer the second time (no negotiation loop),
// and a server that keeps turning an option off and on is answered for its
// first kMaxChanges changes of that option only.
class Session : private Decoder::Handler {
public:
    static constexpr std::uint8_t kMaxChanges = 8;

    // What the client says first: it will do the com-port option and binary in
    // both directions, and wants no go-aheads.
    std::string Greeting();

    // Takes the server's bytes: the line's bytes are appended to *data, answers
    // for the server to *reply.
    void Receive(const std::uint8_t* bytes, std::size_t size, std::string* data,
                 std::string* reply);

    // The server answered the com-port option, and whether it agreed.
    bool ComPortAnswered() const { return com_port_answered_; }
    bool ComPortAgreed() const { return com_port_agreed_; }
    // Whether a modem state that tells anything came (one with a line on or a
    // change), and its CTS, DSR, RI and CD bits (they have the bit values of the
    // program's modem status).
    bool ModemStateKnown() const { return modem_state_known_; }
    std::uint8_t ModemState() const { return modem_state_; }
    // The baud rate the server last confirmed, 0 before any.
    std::uint32_t ConfirmedBaudRate() const { return confirmed_baud_; }
    bool BaudRateAnswered() const { return baud_answered_; }
    // How many com-port answers (commands 100 and up) came in all.
    std::size_t ComPortAnswers() const { return com_port_answers_; }

private:
    void OnData(const std::uint8_t* data, std::size_t size) override;
    void OnNegotiation(std::uint8_t verb, std::uint8_t option) override;
    void OnSubnegotiation(const std::uint8_t* body, std::size_t size) override;
    // Whether the server may still change the option (and be answered); counts
    // the change.
    bool MayChange(std::uint8_t option);

    Decoder decoder_;
    std::string* data_ = nullptr;
    std::string* reply_ = nullptr;
    // Per option: we do it / the server does it, as agreed; asked for and not yet
    // answered; refused once already.
    std::array<bool, 256> ours_{};
    std::array<bool, 256> theirs_{};
    std::array<bool, 256> ours_asked_{};
    std::array<bool, 256> theirs_asked_{};
    std::array<bool, 256> ours_refused_{};
    std::array<bool, 256> theirs_refused_{};
    // Changes of each option that the server asked for and we answered.
    std::array<std::uint8_t, 256> changes_{};
    bool com_port_answered_ = false;
    bool com_port_agreed_ = false;
    bool modem_state_known_ = false;
    std::uint8_t modem_state_ = 0;
    std::uint32_t confirmed_baud_ = 0;
    bool baud_answered_ = false;
    std::size_t com_port_answers_ = 0;
};

}  // namespace vardex::platform::telnet
