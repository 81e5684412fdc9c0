// The rotation window as the user drives it, on the headless engine with Config.ini in memory:
// the stored settings shown on opening, the type combo and the period box writing them back.
#include <gtest/gtest.h>

#include "app/program.h"
#include "core/control_names.h"
#include "core/settings.h"
#include "core/window_registry.h"
#include "memory_settings_store.h"
#include "ui/headless_engine.h"

namespace {

namespace names = core::controls::rotation_window;

class RotationWindow : public ::testing::Test {
  protected:
    void TearDown() override {
        if (window_) engine_.DestroyWindow(window_);
    }
    void Open() {
        window_ = program_.OpenWindow(core::WindowKind::Rotation);
        ASSERT_NE(window_, 0);
        box_ = core::ControlOf(core::WindowKind::Rotation, names::kPeriodBox);
        combo_ = core::ControlOf(core::WindowKind::Rotation, names::kCategoryCombo);
        ASSERT_NE(box_, 0);
        ASSERT_NE(combo_, 0);
    }
    void Type(const std::string& text) {
        engine_.SetText(box_, ui::attr::kText, text);
        engine_.Raise(ui::EventKind::TextChanged, window_, box_);
    }
    std::string Stored(const char* key) { return store_.Value(core::kSectionRotation, key); }

    testing_support::MemorySettingsStore store_;
    ui::HeadlessEngine engine_;
    // The program's own wiring; it never connects.
    app::Program program_{engine_, {"127.0.0.1", 1, {}}};
    ui::WindowId window_ = 0;
    ui::ControlId box_ = 0, combo_ = 0;
};

TEST_F(RotationWindow, OpensWithTheStoredSettingsOrTheDefaults) {
    Open();
    EXPECT_EQ(engine_.GetText(box_, ui::attr::kText), "5");
    EXPECT_EQ(engine_.GetInt(combo_, ui::attr::kCurrentSelection), 0);
    engine_.DestroyWindow(window_);

    store_.Write(core::SettingsPath(), core::kSectionRotation, core::kKeyRotationPeriod, "30");
    store_.Write(core::SettingsPath(), core::kSectionRotation, core::kKeyRotationType, "2");
    Open();
    EXPECT_EQ(engine_.GetText(box_, ui::attr::kText), "30");
    EXPECT_EQ(engine_.GetInt(combo_, ui::attr::kCurrentSelection), 2);
    // Showing them wrote nothing.
    EXPECT_EQ(Stored(core::kKeyRotationPeriod), "30");
    EXPECT_TRUE(engine_.Messages().empty());
}

TEST_F(RotationWindow, ChoosingATypeStoresItsPosition) {
    Open();
    engine_.Raise(ui::EventKind::SelectionChanged, window_, combo_, 2);
    EXPECT_EQ(Stored(core::kKeyRotationType), "2");
    engine_.Raise(ui::EventKind::SelectionChanged, window_, combo_, 0);
    EXPECT_EQ(Stored(core::kKeyRotationType), "0");
}

TEST_F(RotationWindow, PeriodsBelowFiveAreRefusedZeroAndLongerOnesStoredAsTyped) {
    store_.Write(core::SettingsPath(), core::kSectionRotation, core::kKeyRotationPeriod, "12");
    Open();
    // Checked as Windows reads the value back: blanks and one pair of quotes around it go.
    for (const char* refused : {"3", "1", "-7", " 4", "\"1\"", "'2'", " \"3\"\t", "\t4"}) {
        SCOPED_TRACE(refused);
        size_t before = engine_.Messages().size();
        Type(refused);
        EXPECT_EQ(engine_.GetText(box_, ui::attr::kText), "5");
        ASSERT_EQ(engine_.Messages().size(), before + 1);
        ui::HeadlessMessage m = engine_.Messages().back();
        EXPECT_EQ(m.title, "渺岚壁纸");
        EXPECT_EQ(m.text, "     当前服务器压力较大\r\n自动更换壁纸周期不能小于5分钟");
        EXPECT_EQ(Stored(core::kKeyRotationPeriod), "12");
    }
    size_t messages = engine_.Messages().size();
    Type("0");
    EXPECT_EQ(Stored(core::kKeyRotationPeriod), "0");
    Type("5");
    EXPECT_EQ(Stored(core::kKeyRotationPeriod), "5");
    Type("60");
    EXPECT_EQ(Stored(core::kKeyRotationPeriod), "60");
    // Stored as typed; read back without the quotes. Inside them a blank is no digit.
    Type("\"30\"");
    EXPECT_EQ(Stored(core::kKeyRotationPeriod), "30");
    Type("\" 1\"");
    EXPECT_EQ(Stored(core::kKeyRotationPeriod), " 1");
    EXPECT_EQ(engine_.Messages().size(), messages);
    EXPECT_EQ(engine_.GetText(box_, ui::attr::kText), "\" 1\"");
}

}  // namespace
