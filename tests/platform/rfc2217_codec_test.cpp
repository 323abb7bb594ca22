#include "platform/rfc2217_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vardex::platform;

namespace vardex::platform::telnet {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) {
        out.push_back(static_cast<char>(v));
    }
    return out;
}

// What the decoder reported, as text, so that two runs compare whole.
struct Recorder : Decoder::Handler {
    std::string data;
    std::vector<std::string> events;
    void OnData(const std::uint8_t* bytes, std::size_t size) override {
        data.append(reinterpret_cast<const char*>(bytes), size);
    }
    void OnNegotiation(std::uint8_t verb, std::uint8_t option) override {
        events.push_back("neg " + std::to_string(verb) + " " + std::to_string(option));
        events.back() += " after " + std::to_string(data.size());
    }
    void OnSubnegotiation(const std::uint8_t* body, std::size_t size) override {
        events.push_back("sub " + std::string(reinterpret_cast<const char*>(body), size) +
                         " after " + std::to_string(data.size()));
    }
};

Recorder Decode(const std::string& stream, std::size_t cut_a = 0, std::size_t cut_b = 0) {
    Decoder decoder;
    Recorder recorder;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(stream.data());
    cut_a = std::min(cut_a, stream.size());
    cut_b = std::clamp(cut_b, cut_a, stream.size());
    decoder.Feed(bytes, cut_a, &recorder);
    decoder.Feed(bytes + cut_a, cut_b - cut_a, &recorder);
    decoder.Feed(bytes + cut_b, stream.size() - cut_b, &recorder);
    return recorder;
}

TEST(TelnetDecoder, SplitsDataCommandsAndSubnegotiationsWhereverTheReadsCut) {
    // Data with an escaped 0xFF, a negotiation, a com-port answer whose value
    // holds an escaped 0xFF, a NOP, more data.
    const std::string stream = "ab" + Bytes({kIac, kIac}) + "c" + Bytes({kIac, kWill, 3}) + "d" +
                               Bytes({kIac, kSb, 44, 101, 0, 0, kIac, kIac, 0, kIac, kSe}) +
                               Bytes({kIac, 241}) + "e" + Bytes({kIac, kIac});
    const Recorder whole = Decode(stream, stream.size(), stream.size());
    EXPECT_EQ(whole.data,
              "ab\xff"
              "cde\xff");
    ASSERT_EQ(whole.events.size(), 2u);
    EXPECT_EQ(whole.events[0], "neg 251 3 after 4");
    EXPECT_EQ(whole.events[1], Bytes({'s', 'u', 'b', ' ', 44, 101, 0, 0, kIac, 0}) + " after 5");
    for (std::size_t a = 0; a <= stream.size(); ++a) {
        for (std::size_t b = a; b <= stream.size(); ++b) {
            const Recorder cut = Decode(stream, a, b);
            ASSERT_EQ(cut.data, whole.data) << a << " " << b;
            ASSERT_EQ(cut.events, whole.events) << a << " " << b;
        }
    }
}

TEST(TelnetDecoder, SkipsOverlongAndBrokenSubnegotiationsAndCarriesOn) {
    // Longer than any of ours: dropped whole, the data after it intact.
    std::string stream = Bytes({kIac, kSb, 44, 107});
    stream += std::string(Decoder::kMaxSubnegotiation * 4, '\x30');
    stream += Bytes({kIac, kIac, kIac, kSe}) + "x";
    // A command inside a sub-negotiation ends it unread and counts itself.
    stream += Bytes({kIac, kSb, 44, 107, 0x30, kIac, kDo, 5}) + "y";
    // A stray SE and an unknown command mean nothing.
    stream += Bytes({kIac, kSe, kIac, 0}) + "z";
    const Recorder got = Decode(stream, 7, stream.size() - 3);
    EXPECT_EQ(got.data, "xyz");
    ASSERT_EQ(got.events.size(), 1u);
    EXPECT_EQ(got.events[0], "neg 253 5 after 1");
}

TEST(TelnetEncoder, DoublesIacInDataAndInCommandValues) {
    const std::uint8_t data[] = {0x00, 0xFF, 0xFF, 0x41, 0xFE};
    std::string out;
    AppendEscaped(data, sizeof data, &out);
    EXPECT_EQ(out, Bytes({0x00, kIac, kIac, kIac, kIac, 0x41, 0xFE}));
    // 0x0001C2FF: the rate's low byte is IAC and must not end the command.
    EXPECT_EQ(ComPortBaudRate(0x0001C2FF),
              Bytes({kIac, kSb, 44, 1, 0x00, 0x01, 0xC2, kIac, kIac, kIac, kSe}));
    // Round trip through the decoder: every byte value.
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all.push_back(static_cast<char>(i));
    }
    std::string escaped;
    AppendEscaped(reinterpret_cast<const std::uint8_t*>(all.data()), all.size(), &escaped);
    EXPECT_EQ(Decode(escaped, 100, 256).data, all);
}

struct Fed {
    std::string data;
    std::string reply;
};

Fed Feed(Session* session, const std::string& bytes) {
    Fed fed;
    session->Receive(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), &fed.data,
                     &fed.reply);
    return fed;
}

TEST(TelnetSession, AnswersOnlyChangesAndRefusesOnceSoNoServerMakesItLoop) {
    Session session;
    const std::string greeting = session.Greeting();
    EXPECT_NE(greeting.find(Bytes({kIac, kWill, 44})), std::string::npos);
    EXPECT_FALSE(session.ComPortAnswered());

    // Answers to our own requests are not answered again.
    Fed fed = Feed(&session, Bytes({kIac, kDo, 44, kIac, kWill, 0, kIac, kDo, 0}));
    EXPECT_EQ(fed.reply, "");
    EXPECT_TRUE(session.ComPortAnswered());
    EXPECT_TRUE(session.ComPortAgreed());

    // What we do not do is refused, once however often it is asked.
    fed = Feed(&session, Bytes({kIac, kWill, 1, kIac, kDo, 24, kIac, kWill, 1, kIac, kDo, 24}));
    EXPECT_EQ(fed.reply, Bytes({kIac, kDont, 1, kIac, kWont, 24}));

    // The server turning an agreed option off is acknowledged; turning it on
    // again is agreed to; repeating itself gets nothing.
    fed = Feed(&session, Bytes({kIac, kWont, 0, kIac, kWont, 0, kIac, kWill, 0, kIac, kWill, 0}));
    EXPECT_EQ(fed.reply, Bytes({kIac, kDont, 0, kIac, kDo, 0}));

    // Turning an option off and on without end is answered so many times, then
    // no more; other options are still answered.
    std::string turning;
    for (int i = 0; i < 1000; ++i) {
        turning += Bytes({kIac, kWont, 3, kIac, kWill, 3});
    }
    fed = Feed(&session, turning + Bytes({kIac, kWill, 5}));
    EXPECT_EQ(fed.reply.size(), 3u * Session::kMaxChanges + 3);
    EXPECT_TRUE(fed.reply.ends_with(Bytes({kIac, kDont, 5})));
}

TEST(TelnetSession, RefusedComPortOptionIsSeen) {
    Session session;
    (void)session.Greeting();
    const Fed fed = Feed(&session, Bytes({kIac, kDont, 44}));
    EXPECT_EQ(fed.reply, "");
    EXPECT_TRUE(session.ComPortAnswered());
    EXPECT_FALSE(session.ComPortAgreed());
}

TEST(TelnetSession, ModemStateAndBaudRateComeFromTheServersAnswers) {
    Session session;
    (void)session.Greeting();
    // All lines off, no change: a port without modem lines, no report.
    Fed fed = Feed(&session, Bytes({kIac, kSb, 44, 107, 0x00, kIac, kSe}));
    EXPECT_FALSE(session.ModemStateKnown());
    // DSR dropped (its change bit set): CTS only; the change bits are not lines.
    fed = Feed(&session, "A" + Bytes({kIac, kSb, 44, 107, 0x12, kIac, kSe}) + "B");
    EXPECT_EQ(fed.data, "AB");
    EXPECT_TRUE(session.ModemStateKnown());
    EXPECT_EQ(session.ModemState(), 0x10);
    // Every line off after a change: known, and off.
    fed = Feed(&session, Bytes({kIac, kSb, 44, 107, 0x01, kIac, kSe}));
    EXPECT_EQ(session.ModemState(), 0x00);
    // A confirmed rate whose byte is IAC; a short answer is ignored.
    fed = Feed(&session, Bytes({kIac, kSb, 44, 101, 0, 0, 0x01, kIac, kIac, kIac, kSe, kIac, kSb,
                                44, 101, 9, kIac, kSe}));
    EXPECT_EQ(session.ConfirmedBaudRate(), 0x1FFu);
    // Commands from the client's side (below 100) are not answers.
    fed = Feed(&session, Bytes({kIac, kSb, 44, 7, 0x30, kIac, kSe}));
    EXPECT_EQ(session.ModemState(), 0x00);
    EXPECT_EQ(session.ComPortAnswers(), 5u);
}

}  // namespace
}  // namespace vardex::platform::telnet
