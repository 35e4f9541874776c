#include "changes/plan.hpp"

#include <gtest/gtest.h>

#include <optional>

namespace tess {
namespace {

const std::string kSid = "S-1-5-21-1004336348-1177238915-682003330-1001";
const std::string kUndoPlan =
    R"({"journal":"C:\\Users\\ann\\journal.json","ops":[{"op":"undo","id":7}],"sid":")" + kSid +
    R"("})";

std::string hex_of(const std::string& text) {
    return encode_hex(text);
}

TEST(PlanJson, OneUndoOpIsCompactInKeyOrder) {
    const Plan plan{"C:\\Users\\ann\\journal.json", {UndoOp{7}}, {}, kSid};
    auto text = serialize_plan(plan);
    ASSERT_TRUE(text.ok()) << text.error();
    EXPECT_EQ(*text, kUndoPlan);
}

TEST(PlanJson, ApplyOpEmbedsTheActionInItsKeyOrder) {
    const Plan plan{"C:\\d\\journal.json",
                    {ApplyOp{SetServiceStart{"WSearch", "Windows Search", 3, true}},
                     ApplyOp{KillProcesses{"Edge", {{7, "msedge.exe", 133}}}}},
                    "",
                    kSid};
    EXPECT_EQ(
        *serialize_plan(plan),
        R"({"journal":"C:\\d\\journal.json","ops":[{"op":"apply","action":{"kind":"set_service_start","name":"WSearch","display":"Windows Search","start":3,"stop":true}},{"op":"apply","action":{"kind":"kill_processes","label":"Edge","targets":[{"pid":7,"name":"msedge.exe","created":133}]}}],"sid":")" +
            kSid + R"("})");
}

TEST(PlanJson, EveryKindReadsBackIdentical) {
    const Plan plan{"C:\\d\\journ\xC3\xA9l.json",
                    {ApplyOp{KillProcesses{"Code", {{1, "code.exe", 0}, {2, "code.exe", 99}}}},
                     ApplyOp{SetServiceStart{"SysMain", "SysMain", 3, false}},
                     ApplyOp{SetStartupEnabled{StartupLocation::HklmRun32, "Zoom \"x\"", false}},
                     ApplyOp{CleanJunk{"windows_temp", "Windows temporary files"}},
                     ApplyOp{DeleteDevFolder{"C:\\src\\app\\node_modules", "app"}},
                     UndoOp{18446744073709551615ull}},
                    "4242-133000000000000000-1-admin",
                    kSid};
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
         R"({"v":2,"journal":"C:\\j.json","sid":"S-1-5-18","ops":[{"op":"undo","id":1,"why":"x"}]})",
         true},
        {"no ops", R"({"journal":"C:\\j.json","sid":"S-1-5-18","ops":[]})", true},
        {"syntax error", R"({"journal":"C:\\j.json","sid":"S-1-5-18","ops":[})", false},
        {"empty", "", false},
        {"missing journal", R"({"sid":"S-1-5-18","ops":[]})", false},
        {"missing sid", R"({"journal":"C:\\j.json","ops":[]})", false},
        {"sid not text", R"({"journal":"C:\\j.json","sid":18,"ops":[]})", false},
        {"missing ops", R"({"journal":"C:\\j.json","sid":"S-1-5-18"})", false},
        {"journal not text", R"({"journal":1,"sid":"S-1-5-18","ops":[]})", false},
        {"ops not an array", R"({"journal":"C:\\j.json","sid":"S-1-5-18","ops":{}})", false},
        {"not an object", R"([{"journal":"C:\\j.json","sid":"S-1-5-18","ops":[]}])", false},
        {"unknown op", R"({"journal":"C:\\j.json","sid":"S-1-5-18","ops":[{"op":"redo","id":1}]})",
         false},
        {"op in capitals",
         R"({"journal":"C:\\j.json","sid":"S-1-5-18","ops":[{"op":"UNDO","id":1}]})", false},
        {"undo without id", R"({"journal":"C:\\j.json","sid":"S-1-5-18","ops":[{"op":"undo"}]})",
         false},
        {"negative id",
         R"({"journal":"C:\\j.json","sid":"S-1-5-18","ops":[{"op":"undo","id":-1}]})", false},
        {"id as text",
         R"({"journal":"C:\\j.json","sid":"S-1-5-18","ops":[{"op":"undo","id":"1"}]})", false},
        {"unknown kind",
         R"({"journal":"C:\\j.json","sid":"S-1-5-18","ops":[{"op":"apply","action":{"kind":"format_disk"}}]})",
         false},
        {"action field missing",
         R"({"journal":"C:\\j.json","sid":"S-1-5-18","ops":[{"op":"apply","action":{"kind":"clean_junk","id":"x"}}]})",
         false},
        {"trailing text", kUndoPlan + "x", false},
        {"second object", kUndoPlan + "{}", false},
        {"duplicated key",
         R"({"journal":"C:\\a.json","journal":"C:\\b.json","sid":"S-1-5-18","ops":[]})", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse_plan(c.text).ok(), c.ok) << c.what;
}

// The helper decides from the plan's SID whose profile it may touch: a plan that does
// not name its user by a SID is a bad plan, whatever else it holds.
TEST(PlanJson, PlanWithoutAValidSidIsABadPlan) {
    const auto plan_with = [](const std::string& sid_member) {
        return R"({"journal":"C:\\Users\\ann\\journal.json",)" + sid_member +
               R"("ops":[{"op":"undo","id":7}]})";
    };
    const struct {
        const char* what;
        std::string sid_member;
        int code;
    } cases[] = {
        {"a user's SID", R"("sid":")" + kSid + R"(",)", 0},
        {"SYSTEM", R"("sid":"S-1-5-18",)", 0},
        {"no sid", "", 4},
        {"null", R"("sid":null,)", 4},
        {"a number", R"("sid":1001,)", 4},
        {"empty", R"("sid":"",)", 4},
        {"a user name", R"("sid":"ann",)", 4},
        {"SDDL alias", R"("sid":"BA",)", 4},
        {"SDDL smuggled in", R"("sid":"S-1-5-18)(A;;GA;;;WD",)", 4},
        {"trailing space", R"("sid":"S-1-5-18 ",)", 4},
        {"NUL inside", R"("sid":"S-1-5-18\u0000",)", 4},
    };
    for (const auto& c : cases) {
        const PlanArgument arg = read_plan_text(plan_with(c.sid_member));
        EXPECT_EQ(arg.exit_code, c.code) << c.what;
    }
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

TEST(PlanFileTest, HelperParametersCarryThePathAndTheHash) {
    EXPECT_EQ(helper_parameters("C:\\Users\\ann smith\\AppData\\Local\\Tessavo\\plans\\p-1.json",
                                std::string(64, 'e')),
              "apply-plan \"C:\\Users\\ann smith\\AppData\\Local\\Tessavo\\plans\\p-1.json\" " +
                  std::string(64, 'e'));
    EXPECT_EQ(plan_folder("C:\\Users\\ann\\journal.json"), "C:\\Users\\ann\\plans");
    EXPECT_EQ(plan_data_folder(Plan{"C:\\Users\\ann\\journal.json", {}}), "C:\\Users\\ann");
}

// The helper's verdict on its arguments and the file behind them. The digest stands in
// for the file's own SHA-256, which the helper computes.
TEST(PlanFileTest, ExitCodesForEveryKindOfArgumentAndFile) {
    const auto upper = [](std::string s) {
        for (char& c : s)
            if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
        return s;
    };
    const std::string file = "C:\\Users\\ann\\plans\\plan-1.json";
    const std::string digest = hex_of(std::string(32, '\x5a'));
    const struct {
        const char* what;
        std::string file;
        std::string sha;
        std::optional<std::string> text;
        std::string actual;
        int code;
    } cases[] = {
        {"the plan", file, digest, kUndoPlan, digest, 0},
        {"upper-case hash", file, upper(digest), kUndoPlan, digest, 0},
        {"plan folder spelled otherwise", "c:/users/ANN/Plans/p.json", digest, kUndoPlan, digest,
         0},
        // The hash.
        {"no hash", file, "", kUndoPlan, digest, 3},
        {"hash a digit short", file, digest.substr(1), kUndoPlan, digest, 3},
        {"hash of another length", file, digest + "00", kUndoPlan, digest + "00", 3},
        {"not hex", file, "zz" + digest.substr(2), kUndoPlan, digest, 3},
        {"hash with a space", file, digest.substr(1) + " ", kUndoPlan, digest, 3},
        {"hash of other bytes (a tampered file)", file, digest, kUndoPlan,
         hex_of(std::string(32, 'x')), 4},
        // The file and where it is.
        {"no file argument", "", digest, kUndoPlan, digest, 4},
        {"missing file", file, digest, std::nullopt, "", 4},
        {"relative path", "plans\\plan-1.json", digest, kUndoPlan, digest, 4},
        {"a '..' back into the folder", "C:\\Users\\ann\\plans\\..\\plans\\p.json", digest,
         kUndoPlan, digest, 4},
        {"beside the journal", "C:\\Users\\ann\\plan-1.json", digest, kUndoPlan, digest, 4},
        {"in a folder below", "C:\\Users\\ann\\plans\\x\\plan-1.json", digest, kUndoPlan, digest,
         4},
        {"another data folder's plans", "C:\\Users\\bob\\plans\\plan-1.json", digest, kUndoPlan,
         digest, 4},
        {"temp folder", "C:\\Windows\\Temp\\plan-1.json", digest, kUndoPlan, digest, 4},
        // The plan in it.
        {"empty file", file, digest, "", digest, 4},
        {"invalid JSON", file, digest, "{\"journal\":", digest, 4},
        {"unknown op", file, digest,
         R"({"journal":"C:\\j.json","sid":"S-1-5-18","ops":[{"op":"zap","id":1}]})", digest, 4},
        {"unknown kind", file, digest,
         R"({"journal":"C:\\j.json","sid":"S-1-5-18","ops":[{"op":"apply","action":{"kind":"zap"}}]})",
         digest, 4},
        {"trailing text", file, digest, kUndoPlan + " ]", digest, 4},
        {"relative journal path", "C:\\Windows\\System32\\plans\\p.json", digest,
         R"({"journal":"journal.json","sid":"S-1-5-18","ops":[]})", digest, 4},
        {"empty journal path", file, digest, R"({"journal":"","sid":"S-1-5-18","ops":[]})", digest,
         4},
        {"journal path with a NUL", file, digest,
         R"({"journal":"C:\\Users\\ann\\journal.json\u0000x","sid":"S-1-5-18","ops":[]})", digest,
         4},
        {"value name with a NUL", file, digest,
         R"({"journal":"C:\\Users\\ann\\journal.json","sid":"S-1-5-18","ops":[{"op":"apply","action":{"kind":"set_startup_enabled","location":"hkcu_run","value_name":"A\u0000B","enabled":false}}]})",
         digest, 4},
        {"NUL byte after the object", file, digest, kUndoPlan + std::string(1, '\0'), digest, 4},
    };
    for (const auto& c : cases) {
        const PlanArgument arg = read_plan_file(c.file, c.sha, c.text, c.actual);
        EXPECT_EQ(arg.exit_code, c.code) << c.what;
        if (c.code == 0) {
            EXPECT_EQ(arg.plan, (Plan{"C:\\Users\\ann\\journal.json", {UndoOp{7}}, {}, kSid}))
                << c.what;
        }
        if (c.code == 3 || c.what == std::string("no file argument")) {
            EXPECT_EQ(check_plan_arguments(c.file, c.sha), c.code) << c.what;
        }
    }
    EXPECT_EQ(check_plan_arguments(file, digest), 0);
}

TEST(PlanHelper, ExecutableBesideTheRunningOne) {
    EXPECT_EQ(helper_beside("C:\\Downloads\\TessavoSetup.exe"), "C:\\Downloads\\Tessavo.exe");
    EXPECT_EQ(helper_beside("C:/a/b/x.exe"), "C:/a/b\\Tessavo.exe");
    EXPECT_EQ(helper_start_failed_text(2), "could not start the admin helper (Windows error 2)");
}

}  // namespace
}  // namespace tess
