// Signalling messages named as Wireshark names them: every message goes as a GSMTAP packet of its
// own into a pcap the capture writer writes, and the Info column tshark prints for it must begin
// with the message's name. Frames of real phones (tests/data/signalling-samples.md) and a PDU for
// every message type the first bits of each channel can choose.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "capture/writer.h"
#include "diag/frame_pump.h"
#include "diag/log_decoder.h"
#include "diag/signalling_names.h"
#include "tests/support/sim_process.h"

namespace norvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Wireshark's Info begins with the name and goes on, if at all, with a space, ',', '(' or '['
// (after "SysInfoType 5bis" with the "SysInfoType 5" Wireshark 4.0 puts after it).
bool Agrees(std::string_view info, std::string_view name) {
    if (info.substr(0, name.size()) != name) {
        return false;
    }
    const std::string_view rest = info.substr(name.size());
    return rest.empty() || std::string_view(" ,([").find(rest[0]) != std::string_view::npos ||
           (name == "SysInfoType 5bis" && rest.starts_with("SysInfoType 5"));
}

// Messages written to a pcap, then compared with what tshark shows for them.
class Comparison {
  public:
    Comparison() {
        static int n = 0;  // ctest runs each test in a process of its own, maybe at once
        path_ = ::testing::TempDir() + "signalling-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                std::to_string(++n) + ".pcap";
        CaptureError error;
        writer_ = CaptureWriter::Create(path_, error);
        EXPECT_FALSE(error) << error.message;
    }
    void Add(const SignallingMessage& m) {
        ASSERT_TRUE(SignallingGsmtapHeader(m)) << SignallingChannelName(m.channel);
        EXPECT_FALSE(writer_->WriteSignalling(CaptureClock::now(), m));
        names_.emplace_back(m.name);
    }
    std::size_t count() const { return names_.size(); }
    // "name | Info" of each message tshark names otherwise.
    std::vector<std::string> Disagreements() {
        writer_.reset();
        const std::string out = path_ + ".txt";
        std::system(
            ("tshark -r '" + path_ + "' -T fields -e _ws.col.Info >'" + out + "' 2>/dev/null")
                .c_str());
        std::ifstream in(out);
        std::vector<std::string> wrong;
        std::size_t k = 0;
        for (std::string info; std::getline(in, info); ++k) {
            if (k >= names_.size() || !Agrees(info, names_[k])) {
                wrong.push_back(std::to_string(k + 1) + ": " +
                                (k < names_.size() ? names_[k] : "-") + " | " + info);
            }
        }
        if (k != names_.size()) {
            wrong.push_back("tshark read " + std::to_string(k) + " packets of " +
                            std::to_string(names_.size()));
        }
        return wrong;
    }

  private:
    std::string path_;
    std::unique_ptr<CaptureWriter> writer_;
    std::vector<std::string> names_;
};

// Every message of a raw stream as a caller gets them: one joiner for each radio.
void AddMessages(const std::string& bytes, Comparison& c) {
    auto deframer = std::make_unique<HdlcDeframer>();
    auto joiners = std::make_unique<std::array<LteRrcJoiner, 3>>();
    FrameCounters counters;
    const std::span in(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    PumpFrames(*deframer, in, counters, [&](auto, std::span<const std::uint8_t> payload) {
        const DecodedLogFrame d = DecodeLogFrame(payload);
        if (d.kind == LogFrameKind::Rrc || d.kind == LogFrameKind::RrcSegment ||
            d.kind == LogFrameKind::Nas) {
            if (const auto m = (*joiners)[std::min<std::size_t>(d.sim, 2)].Add(d.signalling)) {
                c.Add(*m);
            }
        }
    });
}

bool HaveTshark() {
    return std::system("tshark -v >/dev/null 2>&1") == 0;
}

TEST(SignallingNames, FramesOfRealPhonesAsWiresharkNamesThem) {
    if (!HaveTshark()) {
        GTEST_SKIP() << "tshark is not installed";
    }
    Comparison c;
    AddMessages(test::ReadFile(NORVANE_SOURCE_DIR "/tests/data/signalling-samples.bin"), c);
    EXPECT_EQ(c.count(), 64U);
    EXPECT_EQ(c.Disagreements(), std::vector<std::string>{});
}

// A PDU of `size` bytes beginning with the bits of `bits` ('0' and '1'; others are passed over).
Bytes Pdu(std::string_view bits, std::size_t size = 12) {
    Bytes b(size);
    std::size_t k = 0;
    for (const char c : bits) {
        if (c == '0' || c == '1') {
            b[k / 8] |= static_cast<std::uint8_t>((c - '0') << (7 - k % 8));
            ++k;
        }
    }
    return b;
}

std::string Bits(unsigned value, unsigned width) {
    std::string s;
    while (width-- > 0) {
        s += (value >> width & 1U) != 0 ? '1' : '0';
    }
    return s;
}

// Every value of the first ten bits of every channel's message (after an integrity check,
// too, where one can come first), the NR messages an ULInformationTransferMRDC-r15 carries,
// every block and every NAS message type.
TEST(SignallingNames, EveryMessageTypeOfEveryChannel) {
    if (!HaveTshark()) {
        GTEST_SKIP() << "tshark is not installed";
    }
    using C = SignallingChannel;
    std::vector<Bytes> pdus;  // kept while the messages point into them
    std::vector<SignallingMessage> messages;
    const auto add = [&](SignallingRat rat, SignallingProtocol protocol, SignallingChannel channel,
                         Bytes pdu) {
        SignallingMessage m;
        m.rat = rat;
        m.protocol = protocol;
        m.channel = channel;
        pdus.push_back(std::move(pdu));
        m.pdu = pdus.back();
        messages.push_back(m);
    };
    pdus.reserve(30000);
    for (const C channel : {C::kBcchBch, C::kBcchDlSch, C::kMcch, C::kPcch, C::kDlCcch, C::kDlDcch,
                            C::kUlCcch, C::kUlDcch}) {
        for (unsigned b = 0; b < 1024; ++b) {
            add(SignallingRat::kLte, SignallingProtocol::kRrc, channel, Pdu(Bits(b, 10)));
        }
    }
    for (unsigned b = 0; b < 256; ++b) {
        // c2 index 7, c1, ulInformationTransferMRDC-r15, NR message only, 12 bytes of it.
        add(SignallingRat::kLte, SignallingProtocol::kRrc, C::kUlDcch,
            Pdu("10 0111 0 00 100 0 0001100 " + Bits(b, 8), 20));
    }
    for (const C channel :
         {C::kUlCcch, C::kUlDcch, C::kDlCcch, C::kDlDcch, C::kBcchBch, C::kBcchFach, C::kPcch,
          C::kMcch, C::kMsch, C::kSystemInformationContainer}) {
        const bool integrity = channel == C::kUlCcch || channel == C::kUlDcch ||
                               channel == C::kDlCcch || channel == C::kDlDcch;
        for (unsigned b = 0; b < 1024; ++b) {
            add(SignallingRat::kWcdma, SignallingProtocol::kRrc, channel, Pdu(Bits(b, 10)));
            if (integrity) {
                add(SignallingRat::kWcdma, SignallingProtocol::kRrc, channel,
                    Pdu("1" + std::string(36, '1') + Bits(b, 10)));
            }
        }
    }
    for (unsigned b = 0; b < 256; ++b) {
        add(SignallingRat::kLte, SignallingProtocol::kNas, C::kNone, {0x07, std::uint8_t(b), 0, 0});
        add(SignallingRat::kLte, SignallingProtocol::kNas, C::kNone,
            {0x02, 0x01, std::uint8_t(b), 0, 0, 0});
    }
    for (unsigned header = 0; header < 16; ++header) {
        for (const std::uint8_t type : {0x41, 0x42, 0x48, 0x01}) {
            add(SignallingRat::kLte, SignallingProtocol::kNas, C::kNone,
                {std::uint8_t(header << 4 | 7), 1, 2, 3, 4, 5, 0x07, type, 0, 0});
        }
    }
    Comparison c;
    for (SignallingMessage& m : messages) {
        m.name = m.protocol == SignallingProtocol::kNas ? LteNasMessageName(m.pdu)
                 : m.rat == SignallingRat::kLte         ? LteRrcMessageName(m.channel, m.pdu)
                                                        : WcdmaRrcMessageName(m.channel, m.pdu);
        c.Add(m);
    }
    for (const WcdmaBlock block : kWcdmaBlockTypes) {
        SignallingMessage m;
        m.rat = SignallingRat::kWcdma;
        m.channel = C::kSib;
        m.block = block;
        m.name = WcdmaBlockName(block);
        m.pdu = pdus.back();
        c.Add(m);
    }
    EXPECT_EQ(c.Disagreements(), std::vector<std::string>{});
}

}  // namespace
}  // namespace norvane
