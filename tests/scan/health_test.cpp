#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "scan/health.hpp"

namespace tess {
namespace {

constexpr std::uint64_t kMB = 1024ull * 1024;
constexpr std::uint64_t kGB = 1024 * kMB;
constexpr std::uint64_t kHour = 3'600'000;  // ms

// A healthy machine: 16 GB, half committed, 4 GB of page file, a roomy disk.
HealthInput healthy() {
    HealthInput in;
    in.memory = {16 * kGB, 8 * kGB, 8 * kGB, 20 * kGB};
    in.uptime_ms = kHour;
    in.disk = {true, 200 * kGB, 500 * kGB};
    return in;
}

std::vector<std::string> titles(const std::vector<HealthItem>& items) {
    std::vector<std::string> out;
    for (const HealthItem& i : items)
        out.push_back(i.title);
    return out;
}

ProcessInfo process(std::uint32_t pid, std::string name, std::uint32_t handles,
                    std::int64_t growth = 0) {
    ProcessInfo p;
    p.pid = pid;
    p.name = std::move(name);
    p.handles = handles;
    p.private_growth = growth;
    return p;
}

AppGroup group(std::string display, std::uint64_t count, std::uint64_t bytes) {
    AppGroup g;
    g.display_name = std::move(display);
    g.process_count = count;
    g.private_bytes = bytes;
    return g;
}

MemoryModule stick(std::uint64_t mb, bool built_in, std::string type = "DDR4",
                   std::uint32_t speed = 3200) {
    MemoryModule m;
    m.locator = built_in ? "Controller0" : "DIMM";
    m.type_label = std::move(type);
    m.form_factor = built_in ? "Built-in chips" : "DIMM";
    m.size_mb = mb;
    m.speed_mts = speed;
    m.built_in = built_in;
    return m;
}

TEST(HealthChecks, HealthyMachineHasNothingToSay) {
    EXPECT_TRUE(run_health_checks(healthy()).empty());
    EXPECT_TRUE(run_health_checks(HealthInput{}).empty());  // every probe failed
}

TEST(HealthChecks, UptimeFromThreeDays) {
    HealthInput in = healthy();
    in.uptime_ms = 71 * kHour;
    EXPECT_TRUE(run_health_checks(in).empty());
    in.uptime_ms = 72 * kHour;
    const auto items = run_health_checks(in);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].title, "Restart your PC");
    EXPECT_EQ(items[0].text,
              "It has been running for 3d 0h without a restart. Restarting clears leftover "
              "programs and memory leaks.");
    EXPECT_EQ(items[0].severity, Severity::Warning);
}

TEST(HealthChecks, DiskSpaceBoundaries) {
    const struct {
        bool ok;
        std::uint64_t free, total;
        std::optional<Severity> severity;
    } cases[] = {
        {true, 12 * kGB, 100 * kGB, std::nullopt},
        {true, 10 * kGB, 100 * kGB, std::nullopt},
        {true, 10 * kGB - 1, 100 * kGB, Severity::Warning},
        {true, 9 * kGB, 100 * kGB, Severity::Warning},
        {true, 5 * kGB, 100 * kGB, Severity::Warning},
        {true, 4 * kGB, 100 * kGB, Severity::Problem},
        {true, 30 * kGB, 400 * kGB, Severity::Warning},  // under 10 %
        {true, 40 * kGB, 400 * kGB, std::nullopt},       // exactly 10 %
        {true, 0, 0, std::nullopt},
        {false, 0, 0, std::nullopt},
        {true, ~0ull, ~0ull, std::nullopt},  // no overflow in the 10 % test
    };
    for (const auto& c : cases) {
        HealthInput in = healthy();
        in.disk = {c.ok, c.free, c.total};
        const auto items = run_health_checks(in);
        if (!c.severity) {
            EXPECT_TRUE(items.empty()) << c.free / kGB << " of " << c.total / kGB;
            continue;
        }
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].title, "Low disk space on C:");
        EXPECT_EQ(items[0].severity, *c.severity) << c.free / kGB;
    }
    HealthInput in = healthy();
    in.disk = {true, 9 * kGB, 100 * kGB};
    EXPECT_EQ(run_health_checks(in)[0].text,
              "Only 9.0 GB of 100.0 GB is free. Windows uses free space on C: as extra memory, so "
              "a full drive makes everything slower.");
}

TEST(HealthChecks, PageFile) {
    const struct {
        std::uint64_t total, limit;
        bool item;
    } cases[] = {
        {16 * kGB, 16 * kGB + 512 * kMB, false},
        {16 * kGB, 16 * kGB + 512 * kMB - 1, true},
        {16 * kGB, 8 * kGB, true},  // limit below RAM counts as no page file
        {0, 0, false},
    };
    for (const auto& c : cases) {
        HealthInput in = healthy();
        in.memory = {c.total, c.total / 2, c.total / 4, c.limit};
        const auto items = run_health_checks(in);
        EXPECT_EQ(items.size(), c.item ? 1u : 0u) << c.limit;
        if (!items.empty()) {
            EXPECT_EQ(items[0].title, "Virtual memory is turned off or tiny");
            EXPECT_EQ(items[0].severity, Severity::Problem);
            EXPECT_EQ(items[0].text,
                      "Windows has almost no page file, so apps can crash when memory runs out. "
                      "Set it back to \u201CSystem managed\u201D in Advanced system settings.");
        }
    }
}

TEST(HealthChecks, HandleLeaksAndFastGrowth) {
    const std::vector<ProcessInfo> procs = {
        process(4, "System", 90'000),
        process(100, "exact.exe", 20'000),
        process(101, "Leaky.exe.exe", 20'001),
        process(102, "Loud.EXE", 30'000, 157'286'400),
        process(103, "grow.exe", 0, 157'286'401),
        process(104, "shrink.exe", 0, -900'000'000),
    };
    HealthInput in = healthy();
    in.processes = procs;
    const auto items = run_health_checks(in);
    EXPECT_EQ(titles(items),
              (std::vector<std::string>{"Leaky may be leaking", "Loud.EXE may be leaking",
                                        "grow is growing fast"}));
    EXPECT_EQ(items[0].text,
              "It holds 20001 open handles (normal is a few thousand). Closing and reopening it "
              "usually frees the memory.");
    EXPECT_EQ(items[2].text,
              "It took 150 MB more memory during the scan. If it isn't loading something big, it "
              "may be leaking.");
    EXPECT_EQ(items[2].severity, Severity::Tip);
}

TEST(HealthChecks, TerminalsAndBrowsers) {
    const std::vector<AppGroup> apps = {
        group("powershell", 8, 350 * kMB), group("cmd", 7, 900 * kMB),
        group("bash", 9, 300 * kMB - 1),   group("Python", 12, 2 * kGB),
        group("chrome", 30, kGB),          group("msedge", 6, kGB / 2),
    };
    HealthInput in = healthy();
    in.apps = apps;
    const auto items = run_health_checks(in);
    EXPECT_EQ(titles(items),
              (std::vector<std::string>{"8 powershell windows are open",
                                        "12 Python windows are open", "Your browser uses 1.5 GB"}));
    EXPECT_EQ(items[0].text,
              "Together they use 350 MB. Close the terminals and scripts you no longer need.");
    EXPECT_EQ(items[2].text,
              "Turn on Memory Saver (Settings \u2192 Performance) so tabs you aren't using go to "
              "sleep.");

    const std::vector<AppGroup> just_under = {group("firefox", 3, 0x5FFFFFFF)};
    in.apps = just_under;
    EXPECT_TRUE(run_health_checks(in).empty());
}

TEST(HealthChecks, RamBottleneckTexts) {
    const std::string fallback =
        "Programs regularly ask for more than your 16 GB. Adding RAM is the fix that helps most.";
    const struct {
        std::optional<RamInfo> ram;
        std::string text;
    } cases[] = {
        {std::nullopt, fallback},
        {RamInfo{}, fallback},  // a table without memory devices
        {RamInfo{{stick(16384, false)}, 1, 32768},
         "You have 16 GB (1 stick(s)). There is 1 empty slot(s): adding a 16 GB DDR4 3200 stick "
         "is the biggest speed-up you can get."},
        {RamInfo{{stick(8192, false), stick(4096, false, "DDR3", 0)}, 2, 0},
         "You have 12 GB (2 stick(s)). There are 2 empty slot(s): adding a 16 GB DDR4 3200 stick "
         "is the biggest speed-up you can get."},
        {RamInfo{{stick(8192, true), stick(4096, false), stick(4096, false)}, 0, 0},
         "You have 16 GB (8 GB built in + 4 GB + 4 GB in a slot). Swapping the 4 GB stick for a "
         "16 GB DDR4 3200 stick would give you 28 GB."},
        {RamInfo{{stick(8192, true, "LPDDR5", 6400), stick(8192, true)}, 0, 0},
         "You have 16 GB (all built into the board). The RAM is soldered, so it can't be "
         "upgraded: closing apps is the only fix."},
        {RamInfo{{stick(16384, false, "RAM", 0)}, 1, 0},
         "You have 16 GB (1 stick(s)). There is 1 empty slot(s): adding a 16 GB RAM stick is the "
         "biggest speed-up you can get."},
        {RamInfo{{stick(16384, false, "", 0)}, 1, 0},
         "You have 16 GB (1 stick(s)). There is 1 empty slot(s): adding a 16 GB stick is the "
         "biggest speed-up you can get."},
    };
    for (const auto& c : cases) {
        HealthInput in = healthy();
        in.memory = {16 * kGB, kGB, 22 * kGB, 40 * kGB};
        in.ram = c.ram;
        const auto items = run_health_checks(in);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].title, "16 GB of RAM is your bottleneck");
        EXPECT_EQ(items[0].text, c.text);
        EXPECT_EQ(items[0].severity, Severity::Tip);
    }
}

TEST(HealthChecks, RamCheckNeedsPressureOnASmallMachine) {
    const struct {
        std::uint64_t total, committed;
        bool item;
    } cases[] = {
        {16 * kGB, 16 * kGB * 13 / 10 + 1, true},
        {16 * kGB, 16 * kGB * 13 / 10 - kMB, false},
        {17 * kGB, 30 * kGB, true},
        {17 * kGB + 1, 30 * kGB, false},
        {0, 30 * kGB, false},
    };
    for (const auto& c : cases) {
        HealthInput in = healthy();
        in.memory = {c.total, 0, c.committed, c.total + 40 * kGB};
        EXPECT_EQ(run_health_checks(in).size(), c.item ? 1u : 0u) << c.total << " " << c.committed;
    }
}

TEST(HealthChecks, ChecksRunInTheirOrder) {
    const std::vector<ProcessInfo> procs = {process(10, "a.exe", 30'000, 200 * kMB)};
    const std::vector<AppGroup> apps = {group("cmd", 8, kGB), group("opera", 1, 2 * kGB)};
    HealthInput in;
    in.memory = {8 * kGB, 0, 12 * kGB, 8 * kGB};
    in.uptime_ms = 100 * kHour;
    in.disk = {true, kGB, 100 * kGB};
    in.processes = procs;
    in.apps = apps;
    EXPECT_EQ(titles(run_health_checks(in)),
              (std::vector<std::string>{
                  "Restart your PC", "Low disk space on C:", "Virtual memory is turned off or tiny",
                  "a may be leaking", "a is growing fast", "8 cmd windows are open",
                  "Your browser uses 2.0 GB", "8 GB of RAM is your bottleneck"}));
}

// ---- Score ----

Suggestion suggestion(std::uint64_t bytes, bool ticked, SuggestionSection section) {
    Suggestion s;
    s.bytes = bytes;
    s.ticked = ticked;
    s.section = section;
    return s;
}

JunkRow junk(std::uint64_t bytes, bool ticked) {
    JunkRow r;
    r.bytes = bytes;
    r.ticked = ticked;
    return r;
}

TEST(HealthScore, CleanMachineIsPerfect) {
    EXPECT_EQ(health_score(healthy(), {}, {}, {}), (HealthScore{100, 100}));
    EXPECT_EQ(health_score(HealthInput{}, {}, {}, {}), (HealthScore{100, 100}));
}

TEST(HealthScore, EveryTermTogether) {
    HealthInput in = healthy();
    in.memory.total_physical = 10 * kGB;
    in.memory.commit_charge = 16 * kGB;  // 1.6 x RAM
    const std::vector<Suggestion> sugg = {
        suggestion(2 * kGB, true, SuggestionSection::DevTool),
        suggestion(5 * kGB, false, SuggestionSection::DevTool),  // unticked: no memory term
        suggestion(0, true, SuggestionSection::Service),
        suggestion(0, true, SuggestionSection::Service),
        suggestion(0, false, SuggestionSection::StartupApp),
        suggestion(0, true, SuggestionSection::StartupApp),
        suggestion(0, true, SuggestionSection::StartupApp),
    };
    const std::vector<JunkRow> rows = {junk(6 * kGB, true), junk(50 * kGB, false)};
    const std::vector<HealthItem> items = {{"Low disk space on C:", "", Severity::Problem}};
    const HealthScore s = health_score(in, sugg, rows, items);
    EXPECT_EQ(s.score, 20);  // 70 - 15 - 15 - 12 - 8
    // After: 14 GB committed of 10 is still 1.4 x: 85 - 8.
    EXPECT_EQ(s.after_optimise, 77);
}

TEST(HealthScore, Terms) {
    const struct {
        std::uint64_t ticked_bytes, junk_bytes;
        int services;
        std::vector<Severity> severities;
        int score;
    } cases[] = {
        {kGB, 0, 0, {}, 85},
        {kGB - 1, 0, 0, {}, 92},
        {300 * kMB, 0, 0, {}, 92},
        {300 * kMB - 1, 0, 0, {}, 96},
        {1, 0, 0, {}, 96},
        {0, 5 * kGB, 0, {}, 85},
        {0, 5 * kGB - 1, 0, {}, 90},
        {0, kGB - 1, 0, {}, 95},
        {0, 200 * kMB - 1, 0, {}, 100},
        {0, 0, 3, {}, 91},
        {0, 0, 4, {}, 88},
        {0, 0, 5, {}, 88},
        {0, 0, 0, {Severity::Tip, Severity::Tip}, 100},
        {0, 0, 0, {Severity::Warning, Severity::Problem}, 87},
        {0, 0, 0, {Severity::Problem, Severity::Problem, Severity::Warning}, 80},
        {kGB, 5 * kGB, 9, {Severity::Problem, Severity::Problem, Severity::Problem}, 38},
    };
    for (const auto& c : cases) {
        std::vector<Suggestion> sugg = {
            suggestion(c.ticked_bytes, true, SuggestionSection::DevTool)};
        for (int i = 0; i < c.services; ++i)
            sugg.push_back(suggestion(0, true, SuggestionSection::Service));
        const std::vector<JunkRow> rows = {junk(c.junk_bytes, true)};
        std::vector<HealthItem> items;
        for (Severity s : c.severities)
            items.push_back({"x", "", s});
        const HealthScore s = health_score(healthy(), sugg, rows, items);
        EXPECT_EQ(s.score, c.score) << c.ticked_bytes << " " << c.junk_bytes << " " << c.services;
        EXPECT_GE(s.after_optimise, s.score);
    }
}

TEST(HealthScore, RestartNeverLowersTheScoreAfterOptimise) {
    HealthInput in = healthy();
    in.memory.commit_charge = 20 * kGB;  // 1.25 x of 16: base 85
    const std::vector<HealthItem> restart = {{"Restart your PC", "", Severity::Warning}};
    const std::vector<Suggestion> sugg = {suggestion(5 * kGB, true, SuggestionSection::DevTool)};
    const HealthScore s = health_score(in, sugg, {}, restart);
    EXPECT_EQ(s.score, 85 - 15 - 5);
    EXPECT_EQ(s.after_optimise, 100);  // 15 GB committed after: below RAM; restart not counted

    // Clamped at 5 from below.
    in.memory.commit_charge = 64 * kGB;
    std::vector<Suggestion> many(10, suggestion(0, true, SuggestionSection::StartupApp));
    many.push_back(suggestion(2 * kGB, true, SuggestionSection::DevTool));
    const std::vector<HealthItem> bad(4, {"Problem", "", Severity::Problem});
    const std::vector<JunkRow> rows = {junk(9 * kGB, true)};
    const HealthScore low = health_score(in, many, rows, bad);
    EXPECT_EQ(low.score, 8);  // 70 - 15 - 15 - 12 - 20
    EXPECT_EQ(low.after_optimise, 50);
}

TEST(HealthScore, SeverityWords) {
    EXPECT_EQ(severity_text(Severity::Tip), "Tip");
    EXPECT_EQ(severity_text(Severity::Warning), "Warning");
    EXPECT_EQ(severity_text(Severity::Problem), "Problem");
}

}  // namespace
}  // namespace tess
