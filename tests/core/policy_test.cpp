#include "core/policy.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

namespace tess {
namespace {

using Type = PolicyValue::Type;

PolicyValue dword(std::string_view name, std::uint32_t v) {
    return {std::string(name), Type::Dword, v, {}};
}
PolicyValue text(std::string_view name, std::string v) {
    return {std::string(name), Type::Text, 0, {std::move(v)}};
}
PolicyValue multi(std::string_view name, std::vector<std::string> v) {
    return {std::string(name), Type::MultiText, 0, std::move(v)};
}

TEST(Policy, MachineWinsAndBadValuesAreIgnoredWithALogLine) {
    const struct {
        const char* what;
        std::vector<PolicyValue> machine, user;
        Policy policy;
        std::vector<std::string> log;
    } cases[] = {
        {"nothing set", {}, {}, {}, {}},
        {"machine over user",
         {dword("Autopilot", 0), dword("TrayWatchAtSignIn", 1)},
         {dword("Autopilot", 1), dword("AutopilotIntervalDays", 1), dword("AllowFocusMode", 0),
          dword("TrayWatchAtSignIn", 0)},
         {.autopilot = false, .tray_at_sign_in = true, .focus_allowed = false},
         {}},
        {"on with an interval from either scope",
         {dword("Autopilot", 1)},
         {dword("AutopilotIntervalDays", 7)},
         {.autopilot = true, .autopilot_days = 7},
         {}},
        {"the names in any case",
         {dword("disableupdatecheck", 1), dword("AUTOPILOTCLOSEDEVSERVERS", 0)},
         {},
         {.update_check_off = true, .close_dev_servers = false},
         {}},
        {"a bad machine value leaves the user's in force",
         {text("Autopilot", "1"), dword("AllowFocusMode", 2)},
         {dword("Autopilot", 1), dword("AllowFocusMode", 1)},
         {.autopilot = true, .focus_allowed = true},
         {"policy Autopilot (machine) ignored: not a REG_DWORD value",
          "policy AllowFocusMode (machine) ignored: 2 is out of range"}},
        {"out of range everywhere",
         {dword("DisableUpdateCheck", 0), dword("Autopilot", 1), dword("AutopilotIntervalDays", 3)},
         {dword("TrayWatchAtSignIn", 0xFFFFFFFFu)},
         {.autopilot = true},
         {"policy DisableUpdateCheck (machine) ignored: 0 is out of range",
          "policy AutopilotIntervalDays (machine) ignored: 3 is out of range",
          "policy TrayWatchAtSignIn (user) ignored: 4294967295 is out of range"}},
        {"an interval without Autopilot on is not read",
         {dword("AutopilotIntervalDays", 7)},
         {},
         {},
         {}},
        {"keep list: blank lines dropped, machine's wins",
         {multi("KeepRunning", {"teams.exe", " ", "", "zoom.exe"})},
         {multi("KeepRunning", {"slack.exe"})},
         {.keep_running = std::vector<std::string>{"teams.exe", "zoom.exe"}},
         {}},
        {"keep list of the wrong type",
         {dword("KeepRunning", 1)},
         {text("KeepRunning", "slack.exe")},
         {.keep_running = std::vector<std::string>{"slack.exe"}},
         {"policy KeepRunning (machine) ignored: not a REG_MULTI_SZ value"}},
        {"names it does not know", {dword("Frobnicate", 1)}, {text("Other", "x")}, {}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> log;
        EXPECT_EQ(decide_policy(c.machine, c.user, log), c.policy) << c.what;
        EXPECT_EQ(log, c.log) << c.what;
    }
}

TEST(Policy, SettingsInForceLayTheirValuesOverTheUsersAndLeaveTheRest) {
    Settings user;
    user.skip_version = "0.6.0";
    user.autopilot = {true, 7, 1234, "cleaned", false};
    user.keep_running = {"Teams.exe", "obs64.exe"};
    EXPECT_EQ(settings_in_force(user, Policy{}), user);

    Policy p;
    p.autopilot = false;
    p.close_dev_servers = true;
    p.keep_running = std::vector<std::string>{"teams.exe", "zoom.exe"};
    Settings s = settings_in_force(user, p);
    EXPECT_FALSE(s.autopilot.enabled);
    EXPECT_TRUE(s.autopilot.close_dev_servers);
    EXPECT_EQ(s.autopilot.every_days, 7u);
    EXPECT_EQ(s.autopilot.last_run, 1234u);
    EXPECT_EQ(s.skip_version, "0.6.0");
    EXPECT_EQ(s.keep_running, (std::vector<std::string>{"Teams.exe", "obs64.exe", "zoom.exe"}));

    p = {.autopilot = true, .autopilot_days = 1};
    user.autopilot.enabled = false;
    s = settings_in_force(user, p);
    EXPECT_TRUE(s.autopilot.enabled);
    EXPECT_EQ(s.autopilot.every_days, 1u);
}

// The values Tessavo.admx writes are exactly the ones the program reads.
TEST(PolicyTemplates, NameExactlyTheValuesTheProgramReads) {
    std::ifstream in(std::string(TESS_SOURCE_DIR) + "/policy/Tessavo.admx", std::ios::binary);
    ASSERT_TRUE(in);
    const std::string admx{std::istreambuf_iterator<char>(in), {}};
    std::set<std::string> in_template;
    const std::string attr = "valueName=\"";
    for (auto at = admx.find(attr); at != std::string::npos; at = admx.find(attr, at)) {
        at += attr.size();
        in_template.insert(admx.substr(at, admx.find('"', at) - at));
    }
    const std::set<std::string> read(std::begin(kPolicyValueNames), std::end(kPolicyValueNames));
    EXPECT_EQ(in_template, read);

    // And each of them changes what is in force, set on its own (the interval with
    // Autopilot on).
    for (std::string_view name : kPolicyValueNames) {
        std::vector<PolicyValue> base;
        if (name == kPolicyAutopilotDays) base.push_back(dword(kPolicyAutopilot, 1));
        std::vector<PolicyValue> with = base;
        with.push_back(name == kPolicyKeepRunning ? multi(name, {"x.exe"}) : dword(name, 1));
        std::vector<std::string> log;
        EXPECT_NE(decide_policy(with, {}, log), decide_policy(base, {}, log)) << name;
        EXPECT_TRUE(log.empty()) << name << ": " << log[0];
    }
}

}  // namespace
}  // namespace tess
