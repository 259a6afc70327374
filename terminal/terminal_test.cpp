// The terminal against the in-process simulated radio in virtual time: what it keys, when it
// polls, what it echoes, and that transmission ends on every way out.
#include "terminal/terminal.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "link/contact.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recorded_field.h"

namespace rm7 {
namespace {

using test::BenchStart;
using test::CRadioBench;

class CRecordingView final : public ITerminalView {
  public:
    void ShowText(Text kind, const std::string& text) override {
        (kind == Text::kReceived ? received : kind == Text::kSent ? sent : trace) += text;
        if (kind != Text::kTrace) {
            pane += text;
        }
    }
    void OnTransmitting(bool on) override { transmitting.Set(on); }
    void OnEnabled(bool on) override { enabled.Set(on); }

    std::string received, sent, trace;
    std::string pane;  // the receive pane: received and sent text as they are shown
    test::CRecordedField<bool> transmitting;
    test::CRecordedField<bool> enabled{false};
};

rm7sim::Options RadioOptions(const std::string& rxText = "") {
    rm7sim::Options options = CRadioBench::DefaultOptions();
    options.rxText = rxText;
    options.rxCharMs = 20;
    options.txCharMs = 60;
    return options;
}

class TerminalTest : public ::testing::Test {
  public:
    explicit TerminalTest(const rm7sim::Options& options = RadioOptions())
        : bench(BenchStart::Contacted, options), terminal(*bench.session, pane, view) {
        bench.session->SetIdleTarget(&terminal);
        terminal.Start();
    }
    ~TerminalTest() override {
        terminal.Stop();
        bench.session->SetIdleTarget(nullptr);
    }

    rm7sim::Radio& Radio() { return *bench.radio; }
    std::uint64_t Now() const { return bench.pump.TickCount(); }
    // The texts of the "KY " commands the radio received, the fixed forms left out.
    std::vector<std::string> Payloads(std::size_t from = 0) const {
        std::vector<std::string> out;
        const auto commands = bench.JobCommands();
        for (std::size_t i = from; i < commands.size(); ++i) {
            const std::string& c = commands[i];
            if (c.starts_with("KY ") && c != "KY \x04" && c != "KY  \x7F") {
                out.push_back(c.substr(3));
            }
        }
        return out;
    }
    std::size_t Count(const std::string& command) const {
        const auto commands = bench.JobCommands();
        return static_cast<std::size_t>(std::count(commands.begin(), commands.end(), command));
    }
    bool RunUntil(const std::function<bool()>& done, std::uint32_t maxMs = 60000) {
        return bench.pump.AdvanceUntil(done, maxMs);
    }

    CRadioBench bench;
    CTextPane pane;
    CRecordingView view;
    CTerminal terminal;
};

TEST_F(TerminalTest, KeysTextInChunksAgainstTheEchoQueueInEachMode) {
    const struct {
        TerminalMode mode;
        std::size_t chunk;
        std::string typed;
        std::string echo;  // as the receive pane shows it sent
    } cases[] = {
        {TerminalMode::kCw, 4, "CQ CQ DE N0CALL = K;\r[x]", "CQ CQ DE N0CALL BT K, x"},
        {TerminalMode::kRtty, 4, "RYRY DE N0CALL: 599;\r_", "RYRY DE N0CALL: 599,\r\n"},
        {TerminalMode::kPsk, 8, "cq cq de n0call <pse k>\r", "cq cq de n0call <pse k>\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(TerminalModeName(c.mode));
        const std::size_t before = bench.JobCommands().size();
        terminal.SetMode(c.mode);
        terminal.SetActivityTimeoutMs(60000);
        view.sent.clear();
        pane.AppendUnsent(c.typed);
        ASSERT_TRUE(terminal.TransmitOn());
        ASSERT_TRUE(RunUntil([&] { return terminal.AllSent() && pane.UnsentLength() == 0; }));
        std::string joined;
        for (const std::string& p : Payloads(before)) {
            // A CR taken from the pane is two characters in RTTY.
            const auto lineBreaks = c.mode == TerminalMode::kRtty ? std::count(p.begin(), p.end(), '\n') : 0;
            EXPECT_LE(p.size() - static_cast<std::size_t>(lineBreaks), c.chunk) << p;
            EXPECT_FALSE(p.empty());
            joined += p;
        }
        EXPECT_EQ(joined, FilterForMode(c.typed, c.mode));
        EXPECT_EQ(view.sent, c.echo);
        EXPECT_TRUE(terminal.Transmitting());  // the time-out has not passed
        terminal.TransmitOff();
        RunUntil([] { return false; }, 1000);
    }
    EXPECT_EQ(Radio().OnAir(Now()), FilterForMode("CQ CQ DE N0CALL = K;\r[x]", TerminalMode::kCw) +
                                        FilterForMode("RYRY DE N0CALL: 599;\r_", TerminalMode::kRtty) +
                                        FilterForMode("cq cq de n0call <pse k>\r", TerminalMode::kPsk));
}

// Text holding control characters and characters beyond ASCII: none of them is keyed, so an
// EOT in the text cannot end the transmission mid-message; the end form goes once, at the end.
TEST_F(TerminalTest, ControlAndNonAsciiCharactersInTheTextAreNeverKeyed) {
    const std::string text = "CQ\x04 DE\x07 caf\xE9 \xBBx\xAB\x1B[2J K\r";
    const struct {
        TerminalMode mode;
        std::string onAir;
    } cases[] = {
        {TerminalMode::kPsk, "CQ DE caf x[2J K\n"},
        {TerminalMode::kRtty, "CQ DE caf x2J K\r\n"},
        {TerminalMode::kCw, "CQ DE caf x2J K "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(TerminalModeName(c.mode));
        const std::string airBefore = Radio().OnAir(Now());
        const std::uint32_t endsBefore = Radio().EndsOfTransmission(Now());
        const std::size_t before = bench.JobCommands().size();
        terminal.SetMode(c.mode);
        terminal.SetActivityTimeoutMs(c.mode == TerminalMode::kCw ? 60000 : 0);
        pane.AppendUnsent(text);
        ASSERT_TRUE(terminal.TransmitOn());
        ASSERT_TRUE(RunUntil([&] { return terminal.AllSent() && pane.UnsentLength() == 0; }));
        terminal.TransmitOff();
        RunUntil([] { return false; }, 2000);
        for (const std::string& payload : Payloads(before)) {
            for (const char ch : payload) {
                const auto byte = static_cast<unsigned char>(ch);
                EXPECT_TRUE((byte >= 0x20 && byte < 0x7F) || ch == '\r' || ch == '\n') << std::hex << int{byte};
            }
        }
        EXPECT_EQ(Radio().OnAir(Now()).substr(airBefore.size()), c.onAir);
        EXPECT_EQ(Radio().EndsOfTransmission(Now()) - endsBefore, c.mode == TerminalMode::kCw ? 0u : 1u);
        if (c.mode != TerminalMode::kCw) {
            const auto commands = bench.JobCommands();
            const auto lastKeyed = std::find_if(commands.rbegin(), commands.rend(),
                                                [](const std::string& command) { return command.starts_with("KY"); });
            ASSERT_NE(lastKeyed, commands.rend());
            EXPECT_EQ(*lastKeyed, "KY \x04");
        }
    }
}

TEST_F(TerminalTest, PollsFastAfterActivityAndSlowsDownTowardsASecond) {
    std::vector<std::uint32_t> pollTimes;
    std::size_t seen = 0;
    auto polls = [&] {
        const auto commands = bench.JobCommands();
        for (; seen < commands.size(); ++seen) {
            if (commands[seen] == "TB") {
                pollTimes.push_back(bench.pump.TickCount());
            }
        }
        return pollTimes.size() >= 30;
    };
    ASSERT_TRUE(RunUntil(polls));
    // Each answer resets the counter, so the tick after it sends nothing: two intervals apart.
    std::uint32_t interval = CTerminal::kFastPollMs;
    for (std::size_t i = 1; i < pollTimes.size(); ++i) {
        const std::uint32_t next = std::min<std::uint32_t>(1000, (interval * 15 + 1000) / 16);
        EXPECT_EQ(pollTimes[i] - pollTimes[i - 1], interval + next) << i;
        interval = next;
    }
    EXPECT_GT(terminal.PollIntervalMs(), 800u);

    // A send makes the next interval fast again; the timer already armed runs out first.
    pane.AppendUnsent("TEST");
    terminal.TransmitOn();
    bench.pump.RunUntilIdle();
    EXPECT_EQ(terminal.PollIntervalMs(), CTerminal::kFastPollMs);
    ASSERT_TRUE(RunUntil([&] { return terminal.AllSent(); }));
    EXPECT_EQ(view.sent, "TEST");
}

TEST_F(TerminalTest, KeyboardModesEndByThemselvesWithTheEndFormButCwGoesOn) {
    terminal.SetMode(TerminalMode::kRtty);
    terminal.SetActivityTimeoutMs(0);
    pane.AppendUnsent("CQ TEST");
    ASSERT_TRUE(terminal.TransmitOn());
    ASSERT_TRUE(RunUntil([&] { return !terminal.Transmitting(); }));
    EXPECT_EQ(view.sent, "CQ TEST");
    EXPECT_EQ(Count("KY \x04"), 1u);
    EXPECT_EQ(bench.JobCommands().back(), "KY \x04");
    RunUntil([] { return false; }, 5000);
    EXPECT_EQ(Radio().EndsOfTransmission(Now()), 1u);
    EXPECT_EQ(view.transmitting.values, (std::vector<bool>{true, false}));

    // CW does not stop by itself, whatever the time-out and [TXOFF] say.
    terminal.SetMode(TerminalMode::kCw);
    terminal.SendMemory("[TXON]TEST[TXOFF]");
    ASSERT_TRUE(terminal.Transmitting());
    RunUntil([] { return false; }, 10000);
    EXPECT_TRUE(terminal.Transmitting());
    EXPECT_EQ(view.sent, "CQ TEST TEST");  // the memory starts a word of its own
    EXPECT_EQ(Count("KY \x04"), 1u);
    EXPECT_EQ(Count("KY  \x7F"), 0u);
}

TEST_F(TerminalTest, MemoryMarkersSwitchTransmissionOnAndOffInRtty) {
    terminal.SetMode(TerminalMode::kRtty);
    terminal.SetActivityTimeoutMs(60000);
    terminal.SendMemory("CQ DE N0CALL[CRLF][TXON][TXOFF]");
    EXPECT_TRUE(terminal.Transmitting());
    ASSERT_TRUE(RunUntil([&] { return !terminal.Transmitting(); }));
    std::string joined;
    for (const std::string& p : Payloads()) {
        joined += p;
    }
    EXPECT_EQ(joined, "CQ DE N0CALL\r\n");
    EXPECT_EQ(Count("KY \x04"), 1u);
}

TEST_F(TerminalTest, IdleKeyboardTransmissionIsKeptAliveUntilTheTimeOut) {
    terminal.SetMode(TerminalMode::kPsk);
    terminal.SetActivityTimeoutMs(9000);
    pane.AppendUnsent("HI");
    terminal.TransmitOn();
    ASSERT_TRUE(RunUntil([&] { return !terminal.Transmitting(); }, 20000));
    // About 3 s after the last send and every 3 s after, until 9 s without activity.
    EXPECT_GE(Count("KY  \x7F"), 2u);
    EXPECT_LE(Count("KY  \x7F"), 3u);
    EXPECT_EQ(Count("KY \x04"), 1u);
}

TEST_F(TerminalTest, TransmissionEndsOnEveryWayOut) {
    const struct {
        const char* name;
        TerminalMode mode;
        std::function<void(TerminalTest&)> leave;
    } cases[] = {
        {"hidden", TerminalMode::kRtty, [](TerminalTest& t) { t.terminal.Stop(); }},
        {"signal", TerminalMode::kPsk, [](TerminalTest& t) { t.terminal.EndTransmission(); }},
        {"boot loader", TerminalMode::kRtty,
         [](TerminalTest& t) { t.bench.model->firmwareStatus.Set(kFirmwareBootLoader); }},
        {"hidden in CW", TerminalMode::kCw, [](TerminalTest& t) { t.terminal.Stop(); }},
        // Last: the port stays closed. Nothing can be sent, and nothing is once it is back.
        {"port lost", TerminalMode::kRtty, [](TerminalTest& t) { t.bench.session->ClosePort(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bench.model->firmwareStatus.Set(kFirmwareRunning);
        terminal.Start();
        terminal.SetMode(c.mode);
        terminal.SetActivityTimeoutMs(60000);
        const std::size_t before = bench.JobCommands().size();
        pane.AppendUnsent("A LONG TEXT THAT IS STILL BEING SENT");
        ASSERT_TRUE(terminal.TransmitOn());
        RunUntil([] { return false; }, 500);
        ASSERT_GT(pane.UnsentLength(), 0u);
        c.leave(*this);
        EXPECT_FALSE(terminal.Transmitting());
        const auto commands = bench.JobCommands();
        const std::string last = commands.back();
        const bool portLost = std::string(c.name) == "port lost";
        EXPECT_EQ(last == "KY \x04", c.mode != TerminalMode::kCw && !portLost) << last;
        RunUntil([] { return false; }, 5000);
        if (portLost) {
            ASSERT_EQ(bench.session->OpenSerialPort("sim0"), kOk);
            bench.model->firmwareStatus.Set(kFirmwareRunning);
            RunUntil([] { return false; }, 3000);
        }
        const auto after = bench.JobCommands();
        for (std::size_t i = commands.size(); i < after.size(); ++i) {
            EXPECT_FALSE(after[i].starts_with("KY")) << after[i];
        }
        EXPECT_GT(commands.size(), before);
        pane.DropUnsent();
        terminal.EndTransmission();
    }
}

TEST_F(TerminalTest, DisabledUnlessTheFirmwareRunsAndSilentWhileAJobHasTheRadio) {
    EXPECT_TRUE(view.enabled.Now());
    bench.model->firmwareStatus.Set(kFirmwareBootLoader);
    EXPECT_FALSE(view.enabled.Now());
    EXPECT_FALSE(terminal.TransmitOn());
    terminal.ToggleTransmit();
    EXPECT_FALSE(terminal.Transmitting());
    const std::size_t before = bench.JobCommands().size();
    RunUntil([] { return false; }, 3000);
    EXPECT_EQ(bench.JobCommands().size(), before);  // no polls either

    // While the contact runs, the terminal neither polls nor keys.
    bench.model->firmwareStatus.Set(kFirmwareRunning);
    pane.AppendUnsent("TEXT");
    ASSERT_TRUE(terminal.TransmitOn());
    bench.session->Contact().StartAtOpenPort();
    const std::size_t atContact = Radio().ReceivedCommands().size();
    ASSERT_TRUE(RunUntil([&] { return bench.session->AllIdle(); }));
    const auto all = Radio().ReceivedCommands();
    for (std::size_t i = atContact; i < all.size(); ++i) {
        EXPECT_NE(all[i], "TB");
        EXPECT_FALSE(all[i].starts_with("KY")) << all[i];
    }
}

TEST_F(TerminalTest, TraceInAdvancedModeEchoesCommandsAndAnswers) {
    pane.AppendUnsent("AB");
    terminal.TransmitOn();
    ASSERT_TRUE(RunUntil([&] { return terminal.AllSent(); }));
    EXPECT_EQ(view.trace, "");
    bench.model->trace.Set(1);
    EXPECT_EQ(view.trace, "");  // trace alone is not enough
    bench.model->advancedMode.Set(0x80);
    pane.AppendUnsent("C;");
    terminal.RequestFeed();
    ASSERT_TRUE(RunUntil([&] { return terminal.AllSent(); }));
    EXPECT_EQ(view.trace.substr(0, 10), "KY C,;\r\nTB");
    EXPECT_NE(view.trace.find("TB000;\r\n"), std::string::npos);
    EXPECT_EQ(bench.notifier.status.back().substr(0, 2), "KY");
}

class TerminalReceiveTest : public TerminalTest {
  protected:
    TerminalReceiveTest() : TerminalTest(RadioOptions("CQ;CQ DE N0CALL;K;")) {}
};

TEST_F(TerminalReceiveTest, DecodedTextHoldingSemicolonsArrivesWhole) {
    ASSERT_TRUE(RunUntil([&] { return view.received.size() >= 18; }));
    EXPECT_EQ(view.received, "CQ;CQ DE N0CALL;K;");
}

// The receive pane: what the radio decoded and what it sent each start a line when the other
// spoke last, and no empty line is made when a line already ended.
TEST_F(TerminalReceiveTest, ReceivedAndSentTextDoNotRunTogether) {
    ASSERT_TRUE(RunUntil([&] { return view.received.size() >= 18; }));
    pane.AppendUnsent("R TNX");
    ASSERT_TRUE(terminal.TransmitOn());
    ASSERT_TRUE(RunUntil([&] { return view.sent.ends_with("R TNX"); }));
    EXPECT_EQ(view.pane, "CQ;CQ DE N0CALL;K;\r\nR TNX");
    EXPECT_EQ(view.received, "CQ;CQ DE N0CALL;K;");  // a view that shows only this gets no breaks
}

// A memory sent after typed text starts a word of its own; text that already ends a word, or a
// memory that starts with a space or a line break, is left as it is.
TEST_F(TerminalTest, AMemorySentAfterTypedTextStartsItsOwnWord) {
    const struct {
        const char* typed;
        const char* memory;
        const char* pane;
    } cases[] = {
        {"K", "CQ", "K CQ"},  {"K", "[TXOFF]CQ", "K CQ"}, {"K ", "CQ", "K CQ"}, {"K\r", "CQ", "K\rCQ"},
        {"K", " CQ", "K CQ"}, {"K", "[CRLF]CQ", "K\rCQ"}, {"", "CQ", "CQ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + "|" + c.memory);
        CTextPane typed;
        CRecordingView shown;
        CTerminal local(*bench.session, typed, shown);
        typed.AppendUnsent(c.typed);
        local.SendMemory(c.memory);
        EXPECT_EQ(typed.Text(), c.pane);
    }
}

// A "TB" answer that claims more than ever arrives is dropped after the time-out, and polling
// goes on.
TEST(TerminalScripted, AnAnswerThatNeverCompletesIsDroppedAndPollingGoesOn) {
    CRadioBench bench{CRadioBench::OnScriptedPort{}};
    int polls = 0;
    bench.scriptedPort->script = [&](const std::string& written, std::uint32_t) -> std::string {
        if (written != "TB;") {
            return "";
        }
        return ++polls == 1 ? "TB009AB;CD;" : "TB002OK;";
    };
    ASSERT_EQ(bench.session->OpenSerialPort("scripted"), kOk);
    bench.model->firmwareStatus.Set(kFirmwareRunning);
    CTextPane pane;
    CRecordingView view;
    CTerminal terminal(*bench.session, pane, view);
    bench.session->SetIdleTarget(&terminal);
    terminal.Start();
    bench.pump.AdvanceUntil([&] { return polls == 1; }, 1000);
    bench.pump.AdvanceBy(CTerminal::kAnswerTimeoutMs - 100);
    EXPECT_EQ(polls, 1);  // no poll while the answer may still come
    EXPECT_TRUE(view.received.empty());
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return !view.received.empty(); }, 5000));
    EXPECT_EQ(view.received, "OK");
    terminal.Stop();
    bench.session->SetIdleTarget(nullptr);
}

}  // namespace
}  // namespace rm7
