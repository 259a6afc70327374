#include "model/model.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "model/firmware_version.h"
#include "platform/manual_pump.h"
#include "platform/settings.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

using test::CRecordingWindow;
using ::testing::ElementsAre;

class ModelTest : public ::testing::Test {
  protected:
    ModelTest() {
        dir = folder.Path();
        setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        model = std::make_unique<CModel>(pump, &store);
    }

    test::CTempFolder folder;
    std::filesystem::path dir;
    CManualPump pump;
    CSettingsStore store{std::filesystem::temp_directory_path() / "unused.conf"};
    std::unique_ptr<CModel> model;
    CRecordingWindow window;
};

TEST_F(ModelTest, SetNotifiesOnlyOnChangeInRegistrationOrder) {
    CRecordingWindow second;
    CObservation a(model->serialNumber, &window);
    CObservation b(model->serialNumber, &second);
    model->serialNumber.Set(0xFFFF);
    EXPECT_TRUE(window.messages.empty());
    model->serialNumber.Set(300);
    EXPECT_THAT(window.messages, ElementsAre(kMsgSerialNumber));
    EXPECT_THAT(second.messages, ElementsAre(kMsgSerialNumber));
    b.Reset();
    model->serialNumber.Set(301);
    EXPECT_EQ(second.messages.size(), 1u);
    // An array value tells which element changed.
    CObservation c(model->firmwareVersions, &window);
    model->firmwareVersions.Set(1, 288);
    EXPECT_EQ(window.messages.back(), kMsgFirmwareVersions);
    // Out of range: ignored, nobody is told, and no element takes the value.
    const std::size_t told = window.messages.size();
    const std::uint16_t first = model->firmwareVersions.Get(0);
    model->firmwareVersions.Set(2, 301);
    EXPECT_EQ(window.messages.size(), told);
    EXPECT_EQ(model->firmwareVersions.Get(0), first);
    EXPECT_EQ(model->firmwareVersions.Get(1), 288);
}

TEST_F(ModelTest, LoadThenSaveWritesNothingAndWrongTypesKeepDefaults) {
    store.WriteDword("", "FirmwareLoadRetryLimit", 4);
    store.WriteString("", "Trace", "not a number");
    store.WriteString("", "Port", "/dev/ttyUSB3");
    model->LoadSettings();
    EXPECT_EQ(model->firmwareLoadRetryLimit.Get(), 4u);
    EXPECT_EQ(model->trace.Get(), 0);
    EXPECT_EQ(model->portName.Get(), "/dev/ttyUSB3");
    EXPECT_EQ(model->trace.Load(store), kErrorInvalidData);

    store.WriteDword("", "FirmwareLoadRetryLimit", 99);  // changed behind the model's back
    model->SaveSettings();
    std::uint32_t v = 0;
    ASSERT_EQ(store.ReadDword("", "FirmwareLoadRetryLimit", v), kOk);
    EXPECT_EQ(v, 99u) << "an unchanged value must not be written";
    model->firmwareLoadRetryLimit.Set(5);
    model->SaveSettings();
    ASSERT_EQ(store.ReadDword("", "FirmwareLoadRetryLimit", v), kOk);
    EXPECT_EQ(v, 5u);
}

TEST_F(ModelTest, EmptyFirmwareFolderBecomesTheDefaultAndIsCreated) {
    model->LoadSettings();
    const std::filesystem::path expected = dir / "data" / "Tarnwell" / "RM7 Firmware";
    EXPECT_EQ(model->firmwareFolder.Get(), expected.string());
    EXPECT_TRUE(std::filesystem::is_directory(expected));

    store.WriteString("", "FirmwareFolder", "/nonexistent/firmware");
    CModel other(pump, &store);
    other.LoadSettings();
    EXPECT_EQ(other.firmwareFolder.Get(), "/nonexistent/firmware");
}

TEST_F(ModelTest, VersionTexts) {
    const std::pair<std::uint16_t, const char*> cases[] = {{0, "??.??"},   {999, " N/A "},  {0xFFFE, "Loading"},
                                                           {254, "02.54"}, {1000, "10.00"}, {5, "00.05"}};
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(VersionText(value), text);
    }
    EXPECT_FALSE(IsKnownVersion(0));
    EXPECT_FALSE(IsKnownVersion(999));
    EXPECT_FALSE(IsKnownVersion(0xFFFE));
    EXPECT_TRUE(IsKnownVersion(1000));
    EXPECT_EQ(model->FirmwareVersionText(2), "");
}

}  // namespace
}  // namespace rm7
