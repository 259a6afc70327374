// CSerialPort, its listener thread and the contact machine on the poll pump, against rm7-sim
// over a real pty.
#include <signal.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/contact.h"
#include "link/idle_exchange.h"
#include "link/radio_session.h"
#include "link/tty_serial_port.h"
#include "platform/poll_pump.h"
#include "platform/result_codes.h"
#include "tests/pty/pty_support.h"
#include "tests/support/recording_exchange_listener.h"
#include "tests/support/scripted_port.h"

namespace rm7::test {
namespace {

using ::testing::ElementsAre;

class SerialPortPty : public ::testing::Test {
  protected:
    void Build(const std::vector<std::string>& simArgs) {
        sim = std::make_unique<CSimulator>(simArgs);
        ASSERT_FALSE(sim->Device().empty());
        model = std::make_unique<CModel>(pump, nullptr, &notifier);
        session = std::make_unique<CRadioSession>(*model, std::make_unique<CSerialPort>(pump));
        observation = CObservation(model->portEvent, &window);
        model->portName.Set(sim->Device());
    }
    Result Contact(std::uint32_t limitMs = 30000) {
        window.completions.clear();
        session->Contact().StartAtOpenPort();
        EXPECT_TRUE(pump.RunUntil([this] { return !window.completions.empty(); }, limitMs));
        return window.completions.empty() ? 0xFFFFFFFF : window.completions.back();
    }
    void TearDown() override {
        observation.Reset();
        if (model) {
            session->ClosePort();
        }
    }

    CScratch scratch;
    CPollPump pump;
    CRecordingNotifier notifier;
    CRecordingWindow window;
    std::unique_ptr<CSimulator> sim;
    std::unique_ptr<CModel> model;
    std::unique_ptr<CRadioSession> session;
    CObservation observation;
};

TEST_F(SerialPortPty, ContactAtNineThousandSixHundred) {
    Build({"--speed", "9600", "--serial", "12345"});
    EXPECT_EQ(Contact(), 0u);
    EXPECT_EQ(session->Port().Speed(), 9600u);
    EXPECT_EQ(model->serialNumber.Get(), 12345u);
    EXPECT_EQ(model->firmwareStatus.Get(), kFirmwareRunning);
    EXPECT_TRUE(notifier.BoxLines().empty());
}

TEST_F(SerialPortPty, OpenTwiceKeepsThePortAndZeroBytesWriteNothing) {
    Build({});
    CSerialPort& port = static_cast<CSerialPort&>(session->Port());
    ASSERT_EQ(session->OpenSerialPort(sim->Device()), 0u);
    ASSERT_EQ(port.SetSpeed(19200), 0u);
    EXPECT_EQ(port.Open(sim->Device()), 0u);
    EXPECT_EQ(port.Speed(), 19200u);
    EXPECT_TRUE(port.Write(nullptr, 0));
    EXPECT_TRUE(port.Write("x", 0));
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    SetLastError(0);
    EXPECT_FALSE(port.Write("x", 1));
    EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
    EXPECT_EQ(port.Open(""), kErrPortNameMissing);
    EXPECT_EQ(GetLastError(), kErrPortNameMissing);
}

TEST_F(SerialPortPty, CloseWhileTheListenerWaitsReturnsPromptly) {
    Build({});
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(session->OpenSerialPort(sim->Device()), 0u);
        session->ClosePort();
    }
    EXPECT_FALSE(session->Port().IsOpen());
}

TEST_F(SerialPortPty, RadioUnpluggedMidContactIsReportedOnceAndNothingHangs) {
    const std::filesystem::path record = scratch.Dir() / "wire.txt";
    Build({"--latency", "20", "--record", record.string()});
    ASSERT_EQ(Contact(), 0u);
    // What the radio's wire recording holds so far (it is written line by line as bytes come).
    const auto recorded = [&] {
        std::error_code ec;
        const auto size = std::filesystem::file_size(record, ec);
        return ec ? 0 : size;
    };
    // Unplug while the radio is being polled again: once a poll has reached it.
    window.completions.clear();
    const auto before = recorded();
    session->Contact().StartAtSpeedSearch();
    ASSERT_TRUE(pump.RunUntil([&] { return recorded() > before; }, 10000)) << "no poll reached the radio";
    sim->Stop();
    EXPECT_TRUE(pump.RunUntil([this] { return !window.completions.empty(); }, 20000));
    ASSERT_EQ(window.completions.size(), 1u);
    EXPECT_EQ(window.completions[0], kErrPortGone);
    // The listener sees the hang-up and the port closes quietly; a poll written before that may
    // still fail and be shown once, with the same plain code.
    ASSERT_LE(notifier.BoxLines().size(), 1u);
    for (const std::string& box : notifier.BoxLines()) {
        EXPECT_THAT(box, ::testing::HasSubstr("Error 0xE2000210: The radio's serial port went away"));
    }
    // The port is closed and later calls fail quietly.
    EXPECT_TRUE(pump.RunUntil([this] { return !model->IsPortOpen(); }, 10000));
    EXPECT_FALSE(session->SendText("I;"));
    EXPECT_LE(notifier.BoxLines().size(), 1u);
}

// The idle-time exchange over the real port: answers at the wire speed of 4800 bit/s come in
// as many reads as they happen to, and the radio going away ends the exchange, said once.
TEST_F(SerialPortPty, IdleExchangeGathersPacedAnswersAndSaysALostPortOnce) {
    Build({"--speed", "4800", "--pace", "--latency", "20"});
    ASSERT_EQ(Contact(), 0u);
    CRecordingExchangeListener record(pump);
    CIdleExchange exchange(*session, record);
    session->SetIdleTarget(&exchange);
    exchange.SetAnswerCheck([](const std::string& answer) { return ValidIf(answer.starts_with("RVM")); });
    ASSERT_EQ(exchange.Begin(), kOk);
    ASSERT_TRUE(exchange.Send("RVM;RVD;"));
    exchange.AwaitQuiet(300);
    ASSERT_TRUE(pump.RunUntil([&] { return exchange.Quiet(); }, 10000));
    ASSERT_THAT(record.answers, ElementsAre(::testing::MatchesRegex("valid RVM[0-9.]+;"),
                                            ::testing::MatchesRegex("invalid RVD[0-9.]+;")));
    EXPECT_EQ(record.received, record.answers[0].substr(6) + record.answers[1].substr(8));

    sim->Stop();
    ASSERT_TRUE(pump.RunUntil([&] { return exchange.Failure() != kOk; }, 10000));
    EXPECT_EQ(record.failures, std::vector<Result>{kErrPortGone});
    EXPECT_FALSE(exchange.Send("RVM;"));
    EXPECT_EQ(record.failures.size(), 1u);
    EXPECT_TRUE(notifier.BoxLines().empty());
    session->SetIdleTarget(nullptr);
}

}  // namespace
}  // namespace rm7::test
