#include "tests/support/radio_bench.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "link/contact.h"

namespace rm7::test {

rm7sim::Options CRadioBench::DefaultOptions() {
    rm7sim::Options options;
    options.latencyMs = 2;
    return options;
}

CRadioBench::CRadioBench(BenchStart start, const rm7sim::Options& options, CSettingsStore* settings) {
    radio = std::make_unique<rm7sim::Radio>(options);
    auto port = std::make_unique<CMemoryPort>(pump, *radio);
    memoryPort = port.get();
    model = std::make_unique<CModel>(pump, settings, &notifier);
    session = std::make_unique<CRadioSession>(*model, std::move(port));
    observation = CObservation(model->portEvent, &window);
    model->portName.Set("sim0");
    if (start == BenchStart::Contacted) {
        EXPECT_EQ(Contact(), kOk);
    }
}

CRadioBench::CRadioBench(OnScriptedPort) {
    auto port = std::make_unique<CScriptedPort>(pump);
    scriptedPort = port.get();
    model = std::make_unique<CModel>(pump, nullptr, &notifier);
    session = std::make_unique<CRadioSession>(*model, std::move(port));
    observation = CObservation(model->portEvent, &window);
    model->portName.Set("scripted");
}

CRadioBench::~CRadioBench() {
    observation.Reset();
    session->ClosePort();
}

Result CRadioBench::Contact(std::uint32_t maxMs) {
    window.completions.clear();
    session->Contact().StartAtOpenPort();
    pump.AdvanceUntil([this] { return !window.completions.empty(); }, maxMs);
    EXPECT_EQ(window.completions.size(), 1u);
    if (radio) {
        contactCommands = radio->ReceivedCommands().size();
    }
    return window.completions.empty() ? 0xFFFFFFFF : window.completions.back();
}

std::vector<std::string> CRadioBench::JobCommands() const {
    const auto all = radio->ReceivedCommands();
    return {all.begin() + static_cast<std::ptrdiff_t>(contactCommands), all.end()};
}

std::string CRadioBench::EepromText(std::uint32_t address, std::size_t length) const {
    return std::string(radio->Eeprom().begin() + address, radio->Eeprom().begin() + address + length);
}

void CRadioBench::SetEeprom(std::uint32_t address, const std::string& bytes) {
    std::copy(bytes.begin(), bytes.end(), radio->Eeprom().begin() + address);
}

}  // namespace rm7::test
