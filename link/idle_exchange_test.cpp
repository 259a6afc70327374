// The idle-time exchange on a scripted port in virtual time: answers cut and judged, the quiet
// rule, a paced text's times, the settle wait, and a port that goes away mid-exchange.
#include "link/idle_exchange.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/contact.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recording_exchange_listener.h"

namespace rm7 {
namespace {

using test::CRadioBench;
using ::testing::ElementsAre;

// "XY;" answers with the ";"-terminated echo "XY;"; answers other texts as the test scripts.
class IdleExchangeTest : public ::testing::Test {
  protected:
    IdleExchangeTest()
        : bench(CRadioBench::OnScriptedPort{}), listener(bench.pump), exchange(*bench.session, listener) {
        EXPECT_EQ(bench.session->OpenSerialPort("scripted"), kOk);
        bench.session->SetIdleTarget(&exchange);
        start = bench.pump.TickCount();
    }
    ~IdleExchangeTest() override { bench.session->SetIdleTarget(nullptr); }
    test::CScriptedPort& Port() { return *bench.scriptedPort; }
    std::uint32_t Ms() const { return bench.pump.TickCount() - start; }
    std::vector<std::string> SentTexts() const { return bench.scriptedPort->SentTexts(); }

    CRadioBench bench;
    test::CRecordingExchangeListener listener;
    CIdleExchange exchange;
    std::uint32_t start = 0;
};

// A terminal's kind of answer: "TB" and the count of characters that follow, which may hold ';'.
AnswerCheck CountedAnswer(const std::string& answer) {
    if (answer.size() < 5 || !answer.starts_with("TB")) {
        return AnswerCheck::kInvalid;
    }
    const std::size_t length = static_cast<std::size_t>(std::stoi(answer.substr(2, 2))) + 5;
    return answer.size() < length ? AnswerCheck::kNeedMore : ValidIf(answer.size() == length);
}

TEST_F(IdleExchangeTest, AnswersAreCutAtTheTerminatorAndJudgedWhateverTheReadsAre) {
    exchange.SetAnswerCheck(CountedAnswer);
    ASSERT_EQ(exchange.Begin(), kOk);
    const struct {
        const char* name;
        std::vector<std::string> reads;  // each arrives in a notice of its own
        std::vector<std::string> answers;
    } cases[] = {
        {"whole", {"TB02AB;"}, {"valid TB02AB;"}},
        {"split in three", {"TB", "02A", "B;"}, {"valid TB02AB;"}},
        {"text holding ';' across reads", {"TB03A;", "B;"}, {"valid TB03A;B;"}},
        {"two in one read", {"TB00;TB01X;"}, {"valid TB00;", "valid TB01X;"}},
        {"garbled, then good", {"T#B0;", "TB00;"}, {"invalid T#B0;", "valid TB00;"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        listener.events.clear();
        listener.received.clear();
        std::string all;
        for (const std::string& read : c.reads) {
            Port().Inject(read);
            bench.pump.AdvanceBy(1);
            all += read;
        }
        EXPECT_EQ(listener.events, c.answers);
        EXPECT_EQ(listener.received, all);  // every byte once, in order
        EXPECT_FALSE(exchange.AnswerPending());
    }
}

TEST_F(IdleExchangeTest, AnAnswerThatNeverEndsIsDroppedAfterItsLastByteAndReadingGoesOn) {
    exchange.SetAnswerCheck(CountedAnswer);
    ASSERT_EQ(exchange.Begin(), kOk);
    Port().Inject("TB09AB;");
    bench.pump.AdvanceBy(1000);
    Port().Inject("CD;");  // still short: the wait counts from here
    bench.pump.AdvanceBy(1);
    EXPECT_TRUE(exchange.AnswerPending());
    bench.pump.AdvanceBy(CIdleExchange::kAnswerTimeoutMs - 2);
    EXPECT_TRUE(listener.events.empty());
    bench.pump.AdvanceBy(1);
    EXPECT_THAT(listener.events, ElementsAre("dropped TB09AB;CD; @" + std::to_string(start + 1000 + 2000)));
    Port().Inject("TB02OK;");
    bench.pump.AdvanceBy(1);
    EXPECT_EQ(listener.events.back(), "valid TB02OK;");
}

// Quiet is counted from the asking and again from every byte; silence is quiet too.
TEST_F(IdleExchangeTest, TheLineIsQuietOnlyOnceNoByteCameForTheWholeWait) {
    const struct {
        const char* name;
        std::vector<std::uint32_t> byteAtMs;
        std::uint32_t quietAtMs;
    } cases[] = {
        {"silence", {}, 300},
        {"one byte", {100}, 400},
        {"bytes keep it talking", {100, 350, 600}, 900},
        {"a byte after the wait is no part of it", {301}, 300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        listener.events.clear();
        start = bench.pump.TickCount();
        exchange.AwaitQuiet(300);
        std::uint32_t at = 0;
        for (const std::uint32_t ms : c.byteAtMs) {
            bench.pump.AdvanceBy(ms - at);
            at = ms;
            if (!exchange.Quiet()) {
                Port().Inject("x");
            }
        }
        ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return exchange.Quiet(); }, 5000));
        EXPECT_THAT(listener.events, ElementsAre("quiet @" + std::to_string(start + c.quietAtMs)));
        bench.pump.AdvanceBy(1000);
        EXPECT_EQ(listener.events.size(), 1u);  // said once
    }
}

TEST_F(IdleExchangeTest, APacedTextGoesInPiecesSixtyMillisecondsApartOrAtTheRadiosBracket) {
    const struct {
        const char* name;
        std::string answerTo;  // the piece the radio answers ")" at once
        std::vector<std::string> events;
    } cases[] = {
        {"no answers", "", {"piece !AB @0", "piece CD @60", "piece EF @120", "piece G @180", "end @240"}},
        {"an answer hurries the next piece",
         "CD",
         {"piece !AB @0", "piece CD @60", "piece EF @60", "piece G @120", "end @180"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CRadioBench local(CRadioBench::OnScriptedPort{});
        test::CRecordingExchangeListener heard(local.pump);
        CIdleExchange paced(*local.session, heard);
        ASSERT_EQ(local.session->OpenSerialPort("scripted"), kOk);
        local.session->SetIdleTarget(&paced);
        const std::uint32_t t0 = local.pump.TickCount();
        local.scriptedPort->script = [&](const std::string& written, std::uint32_t) {
            return written == c.answerTo ? std::string(")") : std::string();
        };
        ASSERT_TRUE(paced.SendCommands("!ABCDEFG"));
        EXPECT_TRUE(paced.Pacing());
        ASSERT_TRUE(local.pump.AdvanceUntil([&] { return !paced.Pacing(); }, 2000));
        std::vector<std::string> relative;
        for (const std::string& e : heard.events) {
            const std::size_t at = e.find(" @");
            relative.push_back(e.substr(0, at + 2) + std::to_string(std::stoul(e.substr(at + 2)) - t0));
        }
        EXPECT_EQ(relative, c.events);
        EXPECT_THAT(local.scriptedPort->SentTexts(), ElementsAre("!AB", "CD", "EF", "G"));
        local.session->SetIdleTarget(nullptr);
    }
    // Any other text goes at once and whole.
    ASSERT_TRUE(exchange.SendCommands("FA;FB;"));
    EXPECT_FALSE(exchange.Pacing());
    EXPECT_THAT(SentTexts(), ElementsAre("FA;FB;"));
}

TEST_F(IdleExchangeTest, ASendRightAfterASpeedChangeWaitsForTheLineAndDropsItsNoise) {
    Port().settleMs = 50;
    bench.session->SetSerialSpeed(9600);
    Port().Inject(std::string("\xFF\x00noise", 7));  // the adapter's change, before anyone reads it
    ASSERT_TRUE(exchange.Send("ID;"));
    ASSERT_TRUE(exchange.Send("FA;"));  // held behind the first, in order
    EXPECT_TRUE(SentTexts().empty());
    ASSERT_TRUE(bench.pump.AdvanceUntil([&] { return !SentTexts().empty(); }, 1000));
    EXPECT_EQ(Port().sent.front().tick, start + 50 + 1);
    EXPECT_THAT(SentTexts(), ElementsAre("ID;", "FA;"));
    bench.pump.AdvanceBy(10);
    EXPECT_EQ(listener.received, "");
}

// A page shown while the contact runs starts its exchange without dropping the contact's
// answer; once no job has the radio, what waits is nobody's and goes.
TEST_F(IdleExchangeTest, BeginDropsOnlyWhatNoJobIsWaitingFor) {
    bench.session->Contact().StartAtOpenPort();
    ASSERT_FALSE(bench.session->AllIdle());
    Port().m_rx = "ID";
    EXPECT_EQ(exchange.Begin(), kOk);
    EXPECT_EQ(Port().m_rx, "ID");

    CRadioBench idle(CRadioBench::OnScriptedPort{});
    test::CRecordingExchangeListener heard(idle.pump);
    CIdleExchange fresh(*idle.session, heard);
    ASSERT_EQ(idle.session->OpenSerialPort("scripted"), kOk);
    idle.scriptedPort->m_rx = "stale;";
    EXPECT_EQ(fresh.Begin(), kOk);
    EXPECT_EQ(idle.scriptedPort->m_rx, "");
}

// The port goes away while a paced text is out and the line is awaited: the exchange ends with
// the port's code, said once, and sends nothing more; opened again, a new failure is news.
TEST_F(IdleExchangeTest, APortLostMidExchangeIsSaidOnceAndEndsIt) {
    ASSERT_TRUE(exchange.SendCommands("@123456"));
    exchange.AwaitQuiet(500);
    bench.pump.AdvanceBy(30);
    Port().Vanish();
    bench.pump.AdvanceBy(1000);
    EXPECT_EQ(listener.failures, std::vector<Result>{kErrPortGone});
    EXPECT_EQ(exchange.Failure(), kErrPortGone);
    EXPECT_FALSE(exchange.Pacing());
    EXPECT_THAT(SentTexts(), ElementsAre("@12"));
    EXPECT_FALSE(exchange.Send("ID;"));  // a send on the dead port says nothing new
    EXPECT_EQ(listener.failures.size(), 1u);

    ASSERT_EQ(bench.session->OpenSerialPort("scripted"), kOk);
    Port().writeError = kErrorWriteFault;
    EXPECT_FALSE(exchange.Send("ID;"));
    EXPECT_EQ(listener.failures, (std::vector<Result>{kErrPortGone, kErrorWriteFault}));
}

}  // namespace
}  // namespace rm7
