#include "changes/plan.hpp"

#include <gtest/gtest.h>

namespace tess {
namespace {

const std::string kUndoPlan =
    R"({"journal":"C:\\Users\\ann\\journal.json","ops":[{"op":"undo","id":7}]})";

std::string hex_of(const std::string& text) {
    return encode_hex(text);
}

TEST(PlanJson, OneUndoOpIsCompactInKeyOrder) {
    const Plan plan{"C:\\Users\\ann\\journal.json", {UndoOp{7}}};
    auto text = serialize_plan(plan);
    ASSERT_TRUE(text.ok()) << text.error();
    EXPECT_EQ(*text, kUndoPlan);
}

TEST(PlanJson, ApplyOpEmbedsTheActionInItsKeyOrder) {
    const Plan plan{"C:\\d\\journal.json",
                    {ApplyOp{SetServiceStart{"WSearch", "Windows Search", 3, true}},
                     ApplyOp{KillProcesses{"Edge", {{7, "msedge.exe", 133}}}}}};
    EXPECT_EQ(
        *serialize_plan(plan),
        R"({"journal":"C:\\d\\journal.json","ops":[{"op":"apply","action":{"kind":"set_service_start","name":"WSearch","display":"Windows Search","start":3,"stop":true}},{"op":"apply","action":{"kind":"kill_processes","label":"Edge","targets":[{"pid":7,"name":"msedge.exe","created":133}]}}]})");
}

TEST(PlanJson, EveryKindReadsBackIdentical) {
    const Plan plan{"C:\\d\\journ\xC3\xA9l.json",
                    {ApplyOp{KillProcesses{"Code", {{1, "code.exe", 0}, {2, "code.exe", 99}}}},
                     ApplyOp{SetServiceStart{"SysMain", "SysMain", 3, false}},
                     ApplyOp{SetStartupEnabled{StartupLocation::HklmRun32, "Zoom \"x\"", false}},
                     ApplyOp{CleanJunk{"windows_temp", "Windows temporary files"}},
                     ApplyOp{DeleteDevFolder{"C:\\src\\app\\node_modules", "app"}},
                     UndoOp{18446744073709551615ull}},
                    "4242-133000000000000000-1-admin"};
    auto text = serialize_plan(plan);
    ASSERT_TRUE(text.ok());
    auto back = parse_plan(*text);
    ASSERT_TRUE(back.ok()) << back.error();
    EXPECT_EQ(*back, plan);
}

// Writing a replaced text would send the helper to another journal than the caller's.
TEST(PlanJson, TextThatIsNotUtf8FailsToSerialise) {
    const Plan bad_path{"C:\\d\\\xFF\\journal.json", {}};
    auto text = serialize_plan(bad_path);
    ASSERT_FALSE(text.ok());
    EXPECT_FALSE(text.error().empty());
    EXPECT_FALSE(helper_parameters(bad_path).ok());

    const Plan bad_action{"C:\\d\\journal.json",
                          {ApplyOp{SetStartupEnabled{StartupLocation::HkcuRun, "a\xC3", true}}}};
    EXPECT_FALSE(serialize_plan(bad_action).ok());
}

TEST(PlanJson, ParserIsStrict) {
    const struct {
        const char* what;
        std::string text;
        bool ok;
    } cases[] = {
        {"the plan", kUndoPlan, true},
        {"white space around", " \r\n\t" + kUndoPlan + "\n ", true},
        {"unknown keys ignored",
         R"({"v":2,"journal":"C:\\j.json","ops":[{"op":"undo","id":1,"why":"x"}]})", true},
        {"no ops", R"({"journal":"C:\\j.json","ops":[]})", true},
        {"syntax error", R"({"journal":"C:\\j.json","ops":[})", false},
        {"empty", "", false},
        {"missing journal", R"({"ops":[]})", false},
        {"missing ops", R"({"journal":"C:\\j.json"})", false},
        {"journal not text", R"({"journal":1,"ops":[]})", false},
        {"ops not an array", R"({"journal":"C:\\j.json","ops":{}})", false},
        {"not an object", R"([{"journal":"C:\\j.json","ops":[]}])", false},
        {"unknown op", R"({"journal":"C:\\j.json","ops":[{"op":"redo","id":1}]})", false},
        {"op in capitals", R"({"journal":"C:\\j.json","ops":[{"op":"UNDO","id":1}]})", false},
        {"undo without id", R"({"journal":"C:\\j.json","ops":[{"op":"undo"}]})", false},
        {"negative id", R"({"journal":"C:\\j.json","ops":[{"op":"undo","id":-1}]})", false},
        {"id as text", R"({"journal":"C:\\j.json","ops":[{"op":"undo","id":"1"}]})", false},
        {"unknown kind",
         R"({"journal":"C:\\j.json","ops":[{"op":"apply","action":{"kind":"format_disk"}}]})",
         false},
        {"action field missing",
         R"({"journal":"C:\\j.json","ops":[{"op":"apply","action":{"kind":"clean_junk","id":"x"}}]})",
         false},
        {"trailing text", kUndoPlan + "x", false},
        {"second object", kUndoPlan + "{}", false},
        {"duplicated key", R"({"journal":"C:\\a.json","journal":"C:\\b.json","ops":[]})", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse_plan(c.text).ok(), c.ok) << c.what;
}

TEST(PlanHex, LowerCaseOutEitherCaseIn) {
    EXPECT_EQ(encode_hex(std::string("\x00\x7f\xab\xff", 4)), "007fabff");
    EXPECT_EQ(decode_hex("007FABff"), std::string("\x00\x7f\xab\xff", 4));
    EXPECT_EQ(decode_hex(""), std::string());
    EXPECT_EQ(decode_hex("abc"), std::nullopt);
    EXPECT_EQ(decode_hex("0g"), std::nullopt);
    EXPECT_EQ(decode_hex("0 "), std::nullopt);
    EXPECT_EQ(decode_hex("+1"), std::nullopt);
}

TEST(PlanHex, HelperParametersCarryTheHexPlan) {
    const Plan plan{"C:\\Users\\ann\\journal.json", {UndoOp{7}}};
    EXPECT_EQ(*helper_parameters(plan), "apply-plan " + hex_of(kUndoPlan));
}

TEST(PlanArgumentTest, ExitCodesForEveryKindOfArgument) {
    const auto upper = [](std::string s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
        return s;
    };
    const struct {
        const char* what;
        std::string hex;
        int code;
    } cases[] = {
        {"the plan", hex_of(kUndoPlan), 0},
        {"upper-case hex", upper(hex_of(kUndoPlan)), 0},
        {"absent argument", "", 4},
        {"odd length", hex_of(kUndoPlan).substr(1), 3},
        {"not hex", "zz" + hex_of(kUndoPlan), 3},
        {"hex with a space", hex_of(kUndoPlan) + " 0", 3},
        {"invalid JSON", hex_of("{\"journal\":"), 4},
        {"unknown op", hex_of(R"({"journal":"C:\\j.json","ops":[{"op":"zap","id":1}]})"), 4},
        {"unknown kind",
         hex_of(R"({"journal":"C:\\j.json","ops":[{"op":"apply","action":{"kind":"zap"}}]})"), 4},
        {"trailing text", hex_of(kUndoPlan + " ]"), 4},
        {"relative journal path", hex_of(R"({"journal":"journal.json","ops":[]})"), 4},
        {"empty journal path", hex_of(R"({"journal":"","ops":[]})"), 4},
        {"journal path with a NUL", hex_of(R"({"journal":"C:\\d\\journal.json\u0000x","ops":[]})"),
         4},
        {"value name with a NUL",
         hex_of(
             R"({"journal":"C:\\j.json","ops":[{"op":"apply","action":{"kind":"set_startup_enabled","location":"hkcu_run","value_name":"A\u0000B","enabled":false}}]})"),
         4},
        {"NUL byte after the object", hex_of(kUndoPlan) + "00", 4},
    };
    for (const auto& c : cases) {
        const PlanArgument arg = read_plan_argument(c.hex);
        EXPECT_EQ(arg.exit_code, c.code) << c.what;
    }
    const PlanArgument good = read_plan_argument(hex_of(kUndoPlan));
    EXPECT_EQ(good.plan, (Plan{"C:\\Users\\ann\\journal.json", {UndoOp{7}}}));
}

TEST(PlanHelper, ExecutableBesideTheRunningOne) {
    EXPECT_EQ(helper_beside("C:\\Downloads\\TessavoSetup.exe"), "C:\\Downloads\\Tessavo.exe");
    EXPECT_EQ(helper_beside("C:/a/b/x.exe"), "C:/a/b\\Tessavo.exe");
    EXPECT_EQ(helper_start_failed_text(2), "could not start the admin helper (Windows error 2)");
}

}  // namespace
}  // namespace tess
