#pragma once
// The simulated radio on the in-memory port and the model that talks to it, on a virtual clock;
// shared by the memories' machine tests.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "link/contact.h"
#include "link/memory_port.h"
#include "link/radio_session.h"
#include "platform/manual_pump.h"
#include "sim/radio.h"
#include "tests/support/recording_notifier.h"
#include "tests/support/recording_window.h"

namespace rm7::test {

struct Bench {
    Bench() : radio(Options()) {
        auto owned = std::make_unique<CMemoryPort>(pump, radio);
        model = std::make_unique<CModel>(pump, nullptr, &notifier);
        session = std::make_unique<CRadioSession>(*model, std::move(owned));
        model->portName.Set("sim0");
        CRecordingWindow done;
        CObservation observation(model->portEvent, &done);
        session->Contact().StartAtOpenPort();
        pump.AdvanceUntil([&] { return !done.completions.empty(); }, 60000);
        EXPECT_THAT(done.completions, ::testing::ElementsAre(kOk));
        contactCommands = radio.ReceivedCommands().size();
    }
    static rm7sim::Options Options() {
        rm7sim::Options options;
        options.latencyMs = 2;  // each answer its own moment, so a test can step in between
        return options;
    }
    // What the radio received since the contact.
    std::vector<std::string> JobCommands() const {
        const auto all = radio.ReceivedCommands();
        return {all.begin() + static_cast<std::ptrdiff_t>(contactCommands), all.end()};
    }
    std::string EepromText(std::uint32_t address, std::size_t length) {
        return std::string(radio.Eeprom().begin() + address, radio.Eeprom().begin() + address + length);
    }
    void SetEeprom(std::uint32_t address, const std::string& bytes) {
        std::copy(bytes.begin(), bytes.end(), radio.Eeprom().begin() + address);
    }

    CManualPump pump;
    CRecordingNotifier notifier;
    rm7sim::Radio radio;
    std::unique_ptr<CModel> model;
    std::unique_ptr<CRadioSession> session;
    std::size_t contactCommands = 0;
};

}  // namespace rm7::test
