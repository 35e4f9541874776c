#include "model/actions.hpp"

#include <gtest/gtest.h>

namespace tess {
namespace {

Action parse_action(std::string_view text) {
    auto doc = json::parse_strict(text);
    EXPECT_TRUE(doc.ok()) << text;
    return read_action(*doc);
}

Result<Action> try_action(std::string_view text) {
    return json::parse_document<Action>(text, [](const json::Value& v) { return read_action(v); });
}

Result<Previous> try_previous(std::string_view text) {
    return json::parse_document<Previous>(text,
                                          [](const json::Value& v) { return read_previous(v); });
}

TEST(ActionDescribe, EveryKind) {
    const ProcTarget t{10, "chrome.exe", 0};
    const struct {
        Action action;
        const char* text;
    } cases[] = {
        {KillProcesses{"Chrome", {t}}, "End Chrome (1 process)"},
        {KillProcesses{"Chrome", {t, t}}, "End Chrome (2 processes)"},
        {KillProcesses{"Chrome", {}}, "End Chrome (0 processes)"},
        {SetServiceStart{"SysMain", "SysMain", 3, true},
         "Set service \"SysMain\" to Manual and stop it"},
        {SetServiceStart{"DiagTrack", "Telemetry", 4, false},
         "Set service \"Telemetry\" to Disabled"},
        {SetServiceStart{"x", "X", 2, false}, "Set service \"X\" to Automatic"},
        {SetServiceStart{"x", "X", 99, false}, "Set service \"X\" to Unknown"},
        {SetStartupEnabled{StartupLocation::HkcuRun, "Steam", false},
         "Disable \"Steam\" at startup"},
        {SetStartupEnabled{StartupLocation::HklmRun32, "Steam", true},
         "Enable \"Steam\" at startup"},
        {CleanJunk{"temp", "Temporary files"}, "Clean Temporary files"},
        {DeleteDevFolder{"C:\\src\\app\\node_modules", "app\\node_modules"},
         "Delete app\\node_modules"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(describe(c.action), c.text);
}

// Compact form pins the key order of each kind; the plan embeds exactly this.
TEST(ActionJson, KeyOrderOfEveryKind) {
    const struct {
        Action action;
        const char* json;
    } cases[] = {
        {KillProcesses{"Edge", {{7, "msedge.exe", 133}}},
         R"({"kind":"kill_processes","label":"Edge","targets":[{"pid":7,"name":"msedge.exe","created":133}]})"},
        {SetServiceStart{"WSearch", "Windows Search", 3, false},
         R"({"kind":"set_service_start","name":"WSearch","display":"Windows Search","start":3,"stop":false})"},
        {SetStartupEnabled{StartupLocation::HklmRun, "Zoom", true},
         R"({"kind":"set_startup_enabled","location":"hklm_run","value_name":"Zoom","enabled":true})"},
        {CleanJunk{"browser", "Browser caches"},
         R"({"kind":"clean_junk","id":"browser","label":"Browser caches"})"},
        {DeleteDevFolder{"D:\\x\\target", "x\\target"},
         R"({"kind":"delete_dev_folder","path":"D:\\x\\target","label":"x\\target"})"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(json::dump_compact(write_action(c.action)), c.json);
        EXPECT_EQ(parse_action(c.json), c.action) << c.json;
    }
}

TEST(ActionJson, UnknownKeysIgnoredAnywhere) {
    const Action a = parse_action(
        R"({"extra":1,"targets":[{"created":5,"name":"a.exe","pid":3,"more":[1]}],"label":"A","kind":"kill_processes"})");
    EXPECT_EQ(a, (Action{KillProcesses{"A", {{3, "a.exe", 5}}}}));
}

TEST(ActionJson, InvalidActions) {
    const char* cases[] = {
        R"({"kind":"format_disk","path":"C:\\"})",        // unknown kind
        R"({"kind":"Clean_junk","id":"t","label":"T"})",  // kind is exact
        R"({"id":"t","label":"T"})",                      // no kind
        R"({"kind":7})",                                  // kind not text
        R"({"kind":"clean_junk","id":"t"})",              // missing field
        R"({"kind":"set_startup_enabled","location":"HKCU_RUN","value_name":"a","enabled":true})",
        R"({"kind":"set_startup_enabled","location":"hkcu_run","value_name":"a","enabled":1})",
        R"({"kind":"set_service_start","name":"a","display":"a","start":4294967296,"stop":false})",
        R"({"kind":"set_service_start","name":"a","display":"a","start":-1,"stop":false})",
        R"({"kind":"set_service_start","name":"a","display":"a","start":3.0,"stop":false})",
        R"({"kind":"kill_processes","label":"a","targets":[{"pid":4294967296,"name":"a","created":0}]})",
        R"({"kind":"kill_processes","label":"a","targets":[{"pid":1,"name":"a"}]})",
        R"({"kind":"kill_processes","label":"a","targets":{}})",
        R"({"kind":"kill_processes","label":"a","targets":[1]})",
        R"({"kind":"clean_junk","id":"t","label":"T","label":"U"})",  // duplicated key
        R"(["clean_junk"])",
        R"(null)",
    };
    for (const char* text : cases)
        EXPECT_FALSE(try_action(text).ok()) << text;
}

TEST(PreviousJson, EveryKindAndBytesForms) {
    const struct {
        const char* json;
        Previous previous;
    } cases[] = {
        {R"({"kind":"nothing"})", Nothing{}},
        {R"({"kind":"service_start","start":2})", ServiceStart{2}},
        {R"({"kind":"startup_approved","bytes":null})", StartupApproved{}},
        {R"({"kind":"startup_approved","bytes":[]})", StartupApproved{std::vector<std::uint8_t>{}}},
        {R"({"kind":"startup_approved","bytes":[3,0,255]})",
         StartupApproved{std::vector<std::uint8_t>{3, 0, 255}}},
    };
    for (const auto& c : cases) {
        auto read = try_previous(c.json);
        ASSERT_TRUE(read.ok()) << c.json << ": " << read.error();
        EXPECT_EQ(*read, c.previous) << c.json;
        EXPECT_EQ(json::dump_compact(write_previous(c.previous)), c.json);
    }
    // A missing key reads as "there was none", and is written back as null.
    auto missing = try_previous(R"({"kind":"startup_approved"})");
    ASSERT_TRUE(missing.ok());
    EXPECT_EQ(*missing, Previous{StartupApproved{}});
    EXPECT_FALSE(std::get<StartupApproved>(*missing).bytes.has_value());
    EXPECT_TRUE(
        std::get<StartupApproved>(*try_previous(R"({"kind":"startup_approved","bytes":[]})"))
            .bytes.has_value());
}

TEST(PreviousJson, Invalid) {
    const char* cases[] = {
        R"({"kind":"startup_approved","bytes":[256]})",
        R"({"kind":"startup_approved","bytes":[-1]})",
        R"({"kind":"startup_approved","bytes":"AAA="})",
        R"({"kind":"startup_approved","bytes":[null]})",
        R"({"kind":"service_start"})",
        R"({"kind":"service_start","start":"2"})",
        R"({"kind":"none"})",
        R"({})",
    };
    for (const char* text : cases)
        EXPECT_FALSE(try_previous(text).ok()) << text;
}

}  // namespace
}  // namespace tess
