#include <gtest/gtest.h>

#include "ui/history_text.hpp"

namespace tess::ui {
namespace {

JournalEntry entry(Action action) {
    JournalEntry e;
    e.action = std::move(action);
    e.ok = true;
    return e;
}

TEST(HistoryText, OnlyClosedProgramsCanBeKeptRunning) {
    EXPECT_EQ(kept_program(entry(KillProcesses{"2 Gradle daemons", {}})),
              (KeptProgram{"gradle daemon", "Gradle daemon"}));
    EXPECT_FALSE(kept_program(entry(CleanJunk{"user_temp", "Temporary files"})));
    EXPECT_FALSE(kept_program(entry(SetServiceStart{"svc", "Service", 3, false})));
}

TEST(HistoryText, KeepingAndLettingGoLeavesTheListAsItWas) {
    const std::vector<std::string> before = {"vite", "adb"};
    std::vector<std::string> list = before;
    EXPECT_TRUE(toggle_kept(list, "gradle daemon"));
    EXPECT_EQ(list, (std::vector<std::string>{"vite", "adb", "gradle daemon"}));
    EXPECT_TRUE(is_kept(list, "gradle daemon"));
    EXPECT_FALSE(toggle_kept(list, "gradle daemon"));
    EXPECT_EQ(list, before);
    // A key listed twice (an edited file) goes entirely.
    list = {"vite", "vite"};
    EXPECT_FALSE(toggle_kept(list, "vite"));
    EXPECT_TRUE(list.empty());
}

TEST(HistoryText, CaptionsAndStatuses) {
    EXPECT_EQ(keep_button_caption("Gradle daemon", false),
              "Never close Gradle daemon automatically");
    EXPECT_EQ(keep_button_caption("Gradle daemon", true), "Let Optimise close Gradle daemon again");
    EXPECT_EQ(keep_status_text("Vite", true),
              "Vite will be left running: one-click Optimise won't tick it and Autopilot won't "
              "close it. Undo this on the Autopilot & Focus page.");
    EXPECT_EQ(keep_status_text("Vite", false),
              "Vite can be closed by Optimise and Autopilot again when it sits idle.");
}

}  // namespace
}  // namespace tess::ui
