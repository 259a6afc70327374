// The simulated radio's settings and transmitter, through its command interface.
#include <gtest/gtest.h>

#include <string>

#include "sim/radio.h"

namespace rm7sim {
namespace {

struct Wire {
    explicit Wire(Options options = {}) : radio(std::move(options)) {}
    std::string Send(std::string_view text) {
        radio.Receive(reinterpret_cast<const uint8_t*>(text.data()), text.size(), radio.Speed(), now);
        const std::vector<uint8_t> out = radio.TakeOutput(now);
        return std::string(out.begin(), out.end());
    }
    Radio radio;
    uint64_t now = 1000;
};

TEST(SimTransmitter, SettingsAnswerAsSetAndEachBandKeepsItsVfos) {
    Wire w;
    const struct {
        const char* set;
        const char* query;
        const char* answer;
    } cases[] = {
        {"RT1;", "RT;", "RT1;"},
        {"XT1;", "XT;", "XT1;"},
        {"RO-0250;", "RO;", "RO-0250;"},
        {"AN3;", "AN;", "AN3;"},
        {"PC006;", "PC;", "PC006;"},
        {"BN03;", "BN;", "BN03;"},
        {"FA00007100000;", "FA;", "FA00007100000;"},
        {"FB00007101000;", "FB;", "FB00007101000;"},
        {"XT7;", "XT;", "XT1;"},
        {"BN17;", "BN;", "BN03;"},  // refused: "?;" and no change
    };
    for (const auto& c : cases) {
        w.Send(c.set);
        EXPECT_EQ(w.Send(c.query), c.answer) << c.set;
    }
    w.Send("BN05;");
    EXPECT_EQ(w.Send("FA;"), "FA00014074000;");
    w.Send("BN03;");
    EXPECT_EQ(w.Send("FA;"), "FA00007100000;");
    EXPECT_EQ(w.Send("MP;"), "?;");  // no menu open
    w.Send("MN023;");
    EXPECT_EQ(w.Send("MP;"), "MP001;");
    w.Send("MP002;");
    EXPECT_EQ(w.Send("MP;"), "MP002;");
}

TEST(SimTransmitter, TuneCarrierShowsPowerSettlingAndSwrUntilRx) {
    Options options;
    options.faults.swrBand = 4;
    Wire w(options);
    w.Send("PC004;");
    EXPECT_EQ(w.Send("TQ;"), "TQ0;");
    EXPECT_EQ(w.Send("IC;"), "IC@@@@@;");
    w.Send("SWH16;");
    EXPECT_EQ(w.Send("TQ;"), "TQ1;");
    EXPECT_TRUE(w.radio.Transmitting(w.now));
    std::vector<std::string> reads;
    for (int i = 0; i < 8; ++i) {
        reads.push_back(w.Send("DB;"));
    }
    EXPECT_EQ(reads, (std::vector<std::string>{"DB  2.4 W;", "DB  3.6 W;", "DB  3.9 W;", "DB  4.0 W;", "DB  4.1 W;",
                                               "DB  4.0 W;", "DB  4.0 W;", "DB  4.0 W;"}));
    EXPECT_EQ(w.Send("DS;"), "DS@@@1\xB1@@>;");
    w.Send("BN04;");
    EXPECT_EQ(w.Send("DS;"), "DS@@@3\xB2@@>;");
    w.Send("RX;");
    EXPECT_EQ(w.Send("TQ;"), "TQ0;");
    EXPECT_NE(w.Send("DS;"), "DS@@@3\xB2@@>;");
    EXPECT_NE(w.radio.StateText(w.now).find("transmitting=0\ncarriers=1\n"), std::string::npos);
}

TEST(SimTransmitter, TuneStopDropsTheCarrierAfterItsFirstReadingOnThatBandOnly) {
    Options options;
    options.faults.tuneStopBand = 3;
    Wire w(options);
    w.Send("PC004;SWH16;");
    EXPECT_EQ(w.Send("DB;"), "DB  2.4 W;");
    EXPECT_EQ(w.Send("TQ;"), "TQ1;");  // band 5: keeps going
    w.Send("RX;BN03;PC004;SWH16;");
    EXPECT_EQ(w.Send("TQ;"), "TQ1;");
    EXPECT_EQ(w.Send("DB;"), "DB  2.4 W;");
    EXPECT_EQ(w.Send("TQ;"), "TQ0;");

    Options outOfBand;
    outOfBand.faults.outOfBand = 5;
    Wire o(outOfBand);
    o.Send("PC004;SWH16;");
    EXPECT_EQ(o.Send("DB;"), "DB  END;");
}

TEST(SimTransmitter, TunerTunesOnAShortCarrierAndFaultsParse) {
    Wire w;
    w.Send("SWT44;");
    EXPECT_EQ(w.Send("TQ;"), "TQ1;");
    w.now += Transmitter::kAtuTuneMs;
    EXPECT_EQ(w.Send("TQ;"), "TQ0;");

    Faults faults;
    std::string error;
    ASSERT_TRUE(ParseFaults("txpower=3,swr=10,unplug=tune,tunestop=2,outofband=4", faults, error)) << error;
    EXPECT_EQ(faults.outOfBand, 4);
    EXPECT_EQ(faults.txpowerBand, 3);
    EXPECT_EQ(faults.swrBand, 10);
    EXPECT_EQ(faults.tuneStopBand, 2);
    EXPECT_TRUE(faults.unplugAtTune);
    EXPECT_FALSE(ParseFaults("swr=11", faults, error));
    EXPECT_FALSE(ParseFaults("tunestop=-1", faults, error));
    EXPECT_FALSE(ParseFaults("txpower=x", faults, error));
}

}  // namespace
}  // namespace rm7sim
