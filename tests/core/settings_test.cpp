#include <gtest/gtest.h>

#include "core/json.hpp"
#include "core/settings.hpp"

namespace tess {
namespace {

TEST(Settings, DefaultsAndPartialFiles) {
    auto empty = parse_settings("{}");
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(*empty, Settings{});
    EXPECT_EQ(empty->autopilot.every_days, 7u);

    auto only_enabled = parse_settings(R"({"autopilot": {"enabled": true}})");
    ASSERT_TRUE(only_enabled.ok());
    EXPECT_TRUE(only_enabled->autopilot.enabled);
    EXPECT_EQ(only_enabled->autopilot.every_days, 7u);
    EXPECT_EQ(only_enabled->autopilot.last_run, 0u);

    auto unknown = parse_settings(" \n{\"skip_version\": null, \"zoom\": 3}\r\n\t");
    ASSERT_TRUE(unknown.ok());
    EXPECT_FALSE(unknown->skip_version.has_value());
    EXPECT_EQ(serialize_settings(*unknown).find("zoom"), std::string::npos);
}

TEST(Settings, InvalidFilesAreRejected) {
    const char* cases[] = {
        "",
        "[]",
        "null",
        R"({"keep_running": [], "keep_running": []})",            // duplicated key
        R"({"autopilot": {"enabled": true, "enabled": false}})",  // duplicated inside
        R"({"autopilot": {"every_days": "7"}})",                  // wrong type
        R"({"autopilot": {"every_days": -1}})",                   // negative for unsigned
        R"({"autopilot": {"every_days": 4294967296}})",           // beyond 32 bits
        R"({"autopilot": {"every_days": 7.0}})",                  // not an integer
        R"({"autopilot": {"last_run": 18446744073709551616}})",   // beyond 64 bits
        R"({"autopilot": {"last_run": -5}})",
        R"({"autopilot": []})",
        R"({"skip_version": 5})",
        R"({"keep_running": ["a", 1]})",
        R"({"keep_running": "a"})",
        R"({"autopilot": {"enabled": 1}})",
        "{} x",  // trailing text
        "{}{}",
        R"({"skip_version": "1.0")",  // truncated
    };
    for (const char* text : cases)
        EXPECT_FALSE(parse_settings(text).ok()) << text;
}

TEST(Settings, LimitsAreAccepted) {
    auto s = parse_settings(
        R"({"autopilot": {"every_days": 4294967295, "last_run": 18446744073709551615}})");
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(s->autopilot.every_days, 4294967295u);
    EXPECT_EQ(s->autopilot.last_run, 18446744073709551615ull);
}

TEST(Settings, WrittenBytesArePinned) {
    Settings s;
    EXPECT_EQ(serialize_settings(s),
              "{\n"
              "  \"skip_version\": null,\n"
              "  \"autopilot\": {\n"
              "    \"enabled\": false,\n"
              "    \"every_days\": 7,\n"
              "    \"last_run\": 0,\n"
              "    \"last_result\": \"\",\n"
              "    \"close_dev_servers\": false\n"
              "  },\n"
              "  \"keep_running\": []\n"
              "}");
    s.skip_version = "0.6.0";
    s.autopilot = {true, 3, 1700000000, "Freed 2 GB \"ok\"\n", true};
    s.keep_running = {"gradle daemon", "caf\xC3\xA9"};
    const std::string text = serialize_settings(s);
    EXPECT_EQ(text,
              "{\n"
              "  \"skip_version\": \"0.6.0\",\n"
              "  \"autopilot\": {\n"
              "    \"enabled\": true,\n"
              "    \"every_days\": 3,\n"
              "    \"last_run\": 1700000000,\n"
              "    \"last_result\": \"Freed 2 GB \\\"ok\\\"\\n\",\n"
              "    \"close_dev_servers\": true\n"
              "  },\n"
              "  \"keep_running\": [\n"
              "    \"gradle daemon\",\n"
              "    \"caf\xC3\xA9\"\n"
              "  ]\n"
              "}");
    auto back = parse_settings(text);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(*back, s);
    EXPECT_EQ(serialize_settings(*back), text);
}

TEST(Settings, InvalidUtf8IsWrittenAsReplacement) {
    Settings s;
    s.keep_running = {"bad\xFF"};
    auto back = parse_settings(serialize_settings(s));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back->keep_running[0], "bad\xEF\xBF\xBD");
}

TEST(Json, DuplicateKeysAtAnyDepthButNotAcrossObjects) {
    EXPECT_TRUE(json::parse_strict(R"({"a": {"x": 1}, "b": {"x": 1}})").ok());
    EXPECT_TRUE(json::parse_strict(R"([{"x": 1}, {"x": 2}])").ok());
    EXPECT_FALSE(json::parse_strict(R"([{"x": 1, "x": 2}])").ok());
    EXPECT_FALSE(json::parse_strict(R"({"a": [{"b": {"c": 1, "c": 1}}]})").ok());
}

}  // namespace
}  // namespace tess
