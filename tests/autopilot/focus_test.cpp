#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "autopilot/focus.hpp"

namespace tess {
namespace {

constexpr std::uint32_t kOwnPid = 900;

ProcessInfo proc(std::uint32_t pid, std::string name, float cpu = 0, std::uint32_t parent = 0,
                 std::uint64_t created = 0) {
    ProcessInfo p;
    p.pid = pid;
    p.name = std::move(name);
    p.cpu_percent = cpu;
    p.parent_pid = parent;
    p.created = created ? created : 1000 + pid;
    return p;
}

std::set<std::uint32_t> pids_of(const std::vector<ProcessInfo>& list) {
    std::set<std::uint32_t> out;
    for (const auto& p : list)
        out.insert(p.pid);
    return out;
}

TEST(FocusCandidates, OnlyBusyBackgroundProgramsNobodyProtects) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        ProcessInfo p;
        bool candidate;
    };
    const std::vector<Case> cases = {
        {proc(4, "System", 5), false},
        {proc(3, "Registry", 5), false},
        {proc(kOwnPid, "Tessavo.exe", 5), false},
        {proc(20, "svchost.exe", 5), false},         // protected system process
        {proc(21, "GoogleUpdate.exe", 5), true},     // busy, nobody protects it
        {proc(22, "Spotify.EXE", 5), false},         // never slowed, any case
        {proc(23, "streamlabs obs.exe", 5), false},  // never-slow name with a space
        {proc(24, "OneDrive.exe", 0.09f), false},    // below 0.1 %
        {proc(25, "Dropbox.exe", 0.1f), true},       // exactly the threshold
        {proc(26, "updater.exe", nan), false},       // not a number
        {proc(27, "slowed.exe", 3), false},          // already slowed: same pid and time
        {proc(28, "reused.exe", 3, 0, 7777), true},  // same pid as a record, other time
        {proc(30, "code.exe", 9), false},            // on screen
        {proc(31, "code.exe", 9, 30), false},        // its child
        {proc(32, "rg.exe", 9, 31), false},          // its grandchild
        {proc(33, "CODE.exe", 9, 1), false},         // windowless second copy
        {proc(34, "sync.exe", 2, 77), true},         // parent not protected
    };
    std::vector<ProcessInfo> snapshot;
    std::set<std::uint32_t> expected;
    for (const auto& c : cases) {
        snapshot.push_back(c.p);
        if (c.candidate) expected.insert(c.p.pid);
    }
    const std::vector<Slowed> slowed = {{27, 1027, "slowed.exe", 32}, {28, 1028, "reused.exe", 0}};
    const auto got = busy_background_candidates(snapshot, {30}, kOwnPid, slowed);
    EXPECT_EQ(pids_of(got), expected);
    // In snapshot order.
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got.front().pid, 21u);
    EXPECT_EQ(got.back().pid, 34u);
}

TEST(FocusProtection, DescendantsAndCopiesOfOnScreenPrograms) {
    const std::vector<ProcessInfo> snapshot = {
        proc(50, "pid-reused-parent.exe", 0, 12),  // walked from 12 below, listed first
        proc(10, "Game.exe"),
        proc(11, "launcher.exe", 0, 10),
        proc(12, "helper.exe", 0, 11),
        proc(13, "deep.exe", 0, 12),
        proc(14, "game.EXE", 0, 99),  // copy of the on-screen program, elsewhere in the tree
        proc(60, "loop-a.exe", 0, 61),
        proc(61, "loop-b.exe", 0, 60),  // a cycle of parent ids, outside protection
        proc(70, "orphan.exe", 0, 0),   // parent 0 never links to anything
    };
    const Protection p = build_protection(snapshot, {10});
    for (std::uint32_t pid : {10u, 11u, 12u, 13u, 50u, 14u})
        EXPECT_TRUE(is_shielded(p, *std::find_if(snapshot.begin(), snapshot.end(),
                                                 [&](const auto& x) { return x.pid == pid; })))
            << pid;
    for (std::uint32_t pid : {60u, 61u, 70u})
        EXPECT_FALSE(is_shielded(p, *std::find_if(snapshot.begin(), snapshot.end(),
                                                  [&](const auto& x) { return x.pid == pid; })))
            << pid;
    // A window whose process id could not be read gives pid 0: it protects no process
    // whose parent is unknown.
    const Protection zero = build_protection(snapshot, {0});
    EXPECT_FALSE(is_shielded(zero, snapshot.back()));
}

TEST(FocusOnScreen, VisibleUnminimisedTitledUncloaked) {
    struct Case {
        TopWindow w;
        bool on;
    };
    const Case cases[] = {
        {{1, true, false, 5, 0}, true},  {{1, false, false, 5, 0}, false},
        {{1, true, true, 5, 0}, false},  {{1, true, false, 0, 0}, false},
        {{1, true, false, 5, 2}, false},  // cloaked by the shell (another virtual desktop)
    };
    for (const auto& c : cases)
        EXPECT_EQ(window_on_screen(c.w), c.on);
}

TEST(FocusGuid, TextRoundTripAndRejectedTexts) {
    EXPECT_EQ(guid_text(kBestPerformanceOverlay), "ded574b545a04f42873746345c09c238");
    EXPECT_EQ(parse_guid_text("ded574b545a04f42873746345c09c238"), kBestPerformanceOverlay);
    EXPECT_EQ(parse_guid_text("+DED574B545A04F42873746345C09C238"), kBestPerformanceOverlay);
    const Guid mixed{0x0000000a, 0x00b0, 0x0c00, {0, 1, 2, 3, 4, 5, 6, 0xff}};
    EXPECT_EQ(guid_text(mixed), "0000000a00b00c0000010203040506ff");
    EXPECT_EQ(parse_guid_text(guid_text(mixed)), mixed);
    // The value counts, not the number of digits.
    EXPECT_EQ(parse_guid_text("1"), (Guid{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}}));
    EXPECT_EQ(parse_guid_text("0000000000" + guid_text(mixed)), mixed);
    EXPECT_EQ(parse_guid_text(std::string(32, 'f')),
              (Guid{0xffffffff, 0xffff, 0xffff, {255, 255, 255, 255, 255, 255, 255, 255}}));
    const std::string rejected[] = {
        "",
        "+",
        "-",
        "-1",
        "++1",
        "1" + std::string(32, '0'),  // 2^128
        "ded574b5-45a0-4f42-8737-46345c09c238",
        "{ded574b545a04f42873746345c09c238}",
        " 1",
        "1 ",
        "0x1",
        "g",
        std::string("1\0", 2),
    };
    for (const auto& text : rejected)
        EXPECT_FALSE(parse_guid_text(text).has_value()) << text;
}

TEST(FocusState, WrittenWithKeysInOrderAndReadBack) {
    FocusState s;
    s.since = 1'700'000'000;
    s.power_prev = "381b4222f6944f5ba8a30d6b6fa4c0bf";
    s.slowed = {{4242, 133'000'000'000'000'000ull, "OneDrive.exe", 32},
                {77, 0, "caf\xC3\xA9.exe", 0}};
    const std::string text = serialize_focus_state(s);
    EXPECT_EQ(text,
              "{\n"
              "  \"since\": 1700000000,\n"
              "  \"power_prev\": \"381b4222f6944f5ba8a30d6b6fa4c0bf\",\n"
              "  \"slowed\": [\n"
              "    {\n"
              "      \"pid\": 4242,\n"
              "      \"created\": 133000000000000000,\n"
              "      \"name\": \"OneDrive.exe\",\n"
              "      \"priority\": 32\n"
              "    },\n"
              "    {\n"
              "      \"pid\": 77,\n"
              "      \"created\": 0,\n"
              "      \"name\": \"caf\xC3\xA9.exe\",\n"
              "      \"priority\": 0\n"
              "    }\n"
              "  ]\n"
              "}");
    EXPECT_EQ(*parse_focus_state(text), s);

    const FocusState empty{5, std::nullopt, {}};
    EXPECT_EQ(serialize_focus_state(empty),
              "{\n  \"since\": 5,\n  \"power_prev\": null,\n  \"slowed\": []\n}");
    EXPECT_EQ(*parse_focus_state(serialize_focus_state(empty)), empty);
}

TEST(FocusState, InvalidFilesAreNoState) {
    const char* cases[] = {
        "",
        "[]",
        R"({"power_prev": null, "slowed": []})",
        R"({"since": 1, "slowed": []})",
        R"({"since": 1, "power_prev": null})",
        R"({"since": -1, "power_prev": null, "slowed": []})",
        R"({"since": 1.5, "power_prev": null, "slowed": []})",
        R"({"since": 1, "power_prev": 7, "slowed": []})",
        R"({"since": 1, "power_prev": null, "slowed": {}})",
        R"({"since": 1, "power_prev": null, "slowed": [{"pid": 1, "created": 2, "name": "a"}]})",
        R"({"since": 1, "power_prev": null, "slowed": [{"pid": 4294967296, "created": 2,
            "name": "a", "priority": 0}]})",
        R"({"since": 1, "power_prev": null, "slowed": [{"pid": 1, "created": 2, "name": 3,
            "priority": 0}]})",
        R"({"since": 1, "power_prev": null, "slowed": [7]})",
        R"({"since": 1, "since": 2, "power_prev": null, "slowed": []})",
        R"({"since": 1, "power_prev": null, "slowed": []} x)",
        R"({"since": 1, "power_prev": null, "slowed": [)",
    };
    for (const char* text : cases)
        EXPECT_FALSE(parse_focus_state(text).ok()) << text;
}

TEST(FocusTexts, SummaryAndToggles) {
    struct Case {
        std::size_t n;
        bool power;
        const char* text;
    };
    const Case cases[] = {
        {0, false, "no busy background programs right now"},
        {1, false, "1 background program in efficiency mode"},
        {2, false, "2 background programs in efficiency mode"},
        {0, true, "no busy background programs right now \xC2\xB7 power mode: Best performance"},
        {12, true,
         "12 background programs in efficiency mode \xC2\xB7 power mode: Best performance"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(focus_summary(c.n, c.power), c.text);

    const FocusState one{1, std::nullopt, {{5, 6, "a.exe", 0}}};
    EXPECT_EQ(focus_page_on_text(one),
              "\xE2\x9C\x94 Focus mode is on: 1 background program in efficiency mode.");
    EXPECT_EQ(focus_tray_on_text(one),
              "Focus mode is on: 1 background program in efficiency mode.");
    EXPECT_EQ(focus_page_off_text(0), "Focus mode is off.");
    EXPECT_EQ(focus_page_off_text(1), "Focus mode is off: 1 program is back to full speed.");
    EXPECT_EQ(focus_page_off_text(3), "Focus mode is off: 3 programs are back to full speed.");
    EXPECT_EQ(focus_tray_off_text(0), "Focus mode is off. 0 program(s) are back to full speed.");
    EXPECT_EQ(focus_tray_off_text(2), "Focus mode is off. 2 program(s) are back to full speed.");
}

TEST(FocusBoot, BootTimeFlooredAtZero) {
    EXPECT_EQ(boot_time(1000, 400'999), 600u);
    EXPECT_EQ(boot_time(1000, 5'000'000), 0u);
}

// ---- the flows over a system of plain records -----------------------------------------

const Guid kBalanced{0x381b4222, 0xf694, 0x4f5b, {0xa8, 0xa3, 0x0d, 0x6b, 0x6f, 0xa4, 0xc0, 0xbf}};

struct Fake {
    bool dry_run = false;
    std::optional<std::string> file;  // focus.json
    std::vector<ProcessInfo> procs;
    std::vector<std::uint32_t> screen;
    std::map<std::uint32_t, std::uint32_t> priority;  // current class per pid
    std::set<std::uint32_t> refuse;                   // efficiency mode refused
    std::set<std::uint32_t> cannot_open;
    std::vector<std::string> calls;
    bool power_available = true;
    std::optional<Guid> overlay = kBalanced;
    std::uint64_t now = 2'000'000;
    std::uint64_t uptime_ms = 3'600'000;
    int samples = 0;
    std::recursive_mutex mutex;
    int lock_depth = 0;
    int writes_outside_lock = 0;

    FocusSystem sys() {
        FocusSystem s;
        s.dry_run = dry_run;
        s.own_pid = kOwnPid;
        s.now = [this] { return now; };
        s.uptime_ms = [this] { return uptime_ms; };
        s.sample = [this] {
            ++samples;
            return procs;
        };
        s.on_screen = [this] { return screen; };
        s.slow = [this](const ProcessInfo& p) -> std::optional<std::uint32_t> {
            calls.push_back("slow " + std::to_string(p.pid));
            if (cannot_open.count(p.pid) || refuse.count(p.pid)) return std::nullopt;
            auto& cls = priority.try_emplace(p.pid, kNormalPriority).first->second;
            if (cls != kNormalPriority) return 0u;
            cls = kBelowNormalPriority;
            return kNormalPriority;
        };
        s.put_back = [this](const Slowed& e) {
            calls.push_back("back " + std::to_string(e.pid));
            if (cannot_open.count(e.pid)) return false;
            if (e.priority) priority[e.pid] = e.priority;
            return true;
        };
        s.power.available = [this] { return power_available; };
        s.power.active = [this]() -> std::optional<Guid> {
            calls.push_back("get overlay");
            return power_available ? overlay : std::nullopt;
        };
        s.power.set_active = [this](const Guid& g) {
            calls.push_back("set overlay " + guid_text(g));
            overlay = g;
            return true;
        };
        s.state_exists = [this] { return file.has_value(); };
        s.read_state = [this] { return file; };
        s.write_state = [this](const std::string& text) {
            if (lock_depth == 0) ++writes_outside_lock;
            file = text;
        };
        s.delete_state = [this] {
            if (lock_depth == 0) ++writes_outside_lock;
            file.reset();
        };
        s.locked = [this](const std::function<void()>& work) {
            std::lock_guard<std::recursive_mutex> hold(mutex);
            ++lock_depth;
            work();
            --lock_depth;
        };
        return s;
    }
    FocusState state() const { return *parse_focus_state(*file); }
};

TEST(FocusFlows, EnterSlowsBusyProgramsAndSwitchesThePowerMode) {
    Fake f;
    f.procs = {proc(40, "OneDrive.exe", 3), proc(41, "Steam.exe", 2), proc(42, "quiet.exe", 0),
               proc(43, "gone.exe", 5)};
    f.priority[41] = 0x80;  // high: efficiency mode only
    f.cannot_open = {43};   // exited between the sample and the change
    const FocusState s = focus_enter(f.sys());
    EXPECT_EQ(s.since, 2'000'000u);
    EXPECT_EQ(s.slowed, (std::vector<Slowed>{{40, 1040, "OneDrive.exe", kNormalPriority},
                                             {41, 1041, "Steam.exe", 0}}));
    EXPECT_EQ(s.power_prev, guid_text(kBalanced));
    EXPECT_EQ(f.overlay, kBestPerformanceOverlay);
    EXPECT_EQ(f.priority[40], kBelowNormalPriority);
    EXPECT_EQ(f.priority[41], 0x80u);
    EXPECT_EQ(f.state(), s);
    EXPECT_EQ(f.writes_outside_lock, 0);
    EXPECT_EQ(focus_summary(s),
              "2 background programs in efficiency mode \xC2\xB7 power mode: Best performance");

    // Already on: unchanged, nothing sampled again.
    f.procs.push_back(proc(44, "new.exe", 9));
    EXPECT_EQ(focus_enter(f.sys()), s);
    EXPECT_EQ(f.samples, 1);

    // Off: both put back, the priority restored, the power mode too.
    EXPECT_EQ(focus_leave(f.sys()), 2u);
    EXPECT_EQ(f.priority[40], kNormalPriority);
    EXPECT_EQ(f.priority[41], 0x80u);
    EXPECT_EQ(f.overlay, kBalanced);
    EXPECT_FALSE(f.file.has_value());
    EXPECT_EQ(focus_leave(f.sys()), 0u);
}

TEST(FocusFlows, PowerModeLeftAloneWhenAlreadyBestOrUnavailable) {
    struct Case {
        bool available;
        std::optional<Guid> overlay;
    };
    const Case cases[] = {
        {true, kBestPerformanceOverlay}, {false, kBalanced}, {true, std::nullopt}};
    for (const auto& c : cases) {
        Fake f;
        f.power_available = c.available;
        f.overlay = c.overlay;
        const FocusState s = focus_enter(f.sys());
        EXPECT_FALSE(s.power_prev.has_value());
        EXPECT_TRUE(s.slowed.empty());
        EXPECT_EQ(focus_page_on_text(s),
                  "\xE2\x9C\x94 Focus mode is on: no busy background programs right now.");
        focus_leave(f.sys());
        for (const auto& call : f.calls)
            EXPECT_NE(call.rfind("set overlay", 0), 0u) << call;
    }
}

TEST(FocusFlows, TestRunRecordsWithoutTouchingAnything) {
    Fake f;
    f.dry_run = true;
    f.procs = {proc(40, "OneDrive.exe", 3)};
    const FocusState s = focus_enter(f.sys());
    EXPECT_EQ(s.slowed, (std::vector<Slowed>{{40, 1040, "OneDrive.exe", 0}}));
    EXPECT_EQ(s.power_prev, std::string(32, '0'));
    f.procs.push_back(proc(41, "more.exe", 3));
    focus_refresh(f.sys());
    EXPECT_EQ(f.state(), s);
    EXPECT_EQ(focus_tray_toggle(f.sys()),
              "Focus mode is off. 1 program(s) are back to full speed.");
    EXPECT_TRUE(f.calls.empty());
    EXPECT_FALSE(f.file.has_value());

    f.power_available = false;
    EXPECT_FALSE(focus_enter(f.sys()).power_prev.has_value());
}

TEST(FocusFlows, LeaveWithBadFilesAndBadPowerTexts) {
    {
        Fake f;
        f.file = "{ not json";
        EXPECT_TRUE(focus_is_on(f.sys()));
        EXPECT_FALSE(focus_load_state(f.sys()).has_value());
        EXPECT_EQ(focus_page_toggle(f.sys()), "Focus mode is off.");
        EXPECT_FALSE(f.file.has_value());
    }
    for (const char* prev : {"-1", "", "zz", "1ded574b545a04f42873746345c09c238"}) {
        Fake f;
        f.file = serialize_focus_state({1, std::string(prev), {{40, 1040, "a.exe", 32}}});
        EXPECT_EQ(focus_leave(f.sys()), 1u);
        EXPECT_EQ(f.overlay, kBalanced) << prev;  // nothing restored
    }
    {
        Fake f;  // a process that can no longer be opened is not counted
        f.file =
            serialize_focus_state({1, std::nullopt, {{40, 1, "a.exe", 32}, {41, 2, "b.exe", 0}}});
        f.cannot_open = {40};
        EXPECT_EQ(focus_leave(f.sys()), 1u);
        EXPECT_FALSE(f.file.has_value());
    }
}

TEST(FocusFlows, RefreshGivesOnScreenProgramsBackAndSlowsNewlyBusyOnes) {
    Fake f;
    f.procs = {proc(40, "sync.exe", 3), proc(41, "update.exe", 3), proc(42, "exits.exe", 3),
               proc(43, "stuck.exe", 3)};
    focus_enter(f.sys());
    ASSERT_EQ(f.state().slowed.size(), 4u);
    // 40 comes on screen, 42 exits, 43 comes on screen but cannot be put back now, 44
    // is new and busy, 45 was started by the on-screen 40.
    f.screen = {40, 43};
    f.cannot_open = {43};
    f.procs = {proc(40, "sync.exe", 3), proc(41, "update.exe", 3), proc(43, "stuck.exe", 3),
               proc(44, "new.exe", 3), proc(45, "child.exe", 3, 40)};
    focus_refresh(f.sys());
    const FocusState s = f.state();
    std::vector<std::uint32_t> pids;
    for (const auto& e : s.slowed)
        pids.push_back(e.pid);
    EXPECT_EQ(pids, (std::vector<std::uint32_t>{41, 43, 44}));
    EXPECT_EQ(f.priority[40], kNormalPriority);
    EXPECT_EQ(f.priority[44], kBelowNormalPriority);
    EXPECT_EQ(f.writes_outside_lock, 0);

    // A snapshot that failed (an empty list) must not drop the records.
    const std::string before = *f.file;
    f.procs.clear();
    focus_refresh(f.sys());
    EXPECT_EQ(*f.file, before);

    // Off: refresh does nothing.
    Fake off;
    off.procs = {proc(40, "sync.exe", 3)};
    focus_refresh(off.sys());
    EXPECT_FALSE(off.file.has_value());
    EXPECT_TRUE(off.calls.empty());
}

TEST(FocusFlows, StaleStateIsClearedWithoutTouchingProcesses) {
    struct Case {
        std::uint64_t since;
        bool dry_run;
        bool cleared;
        bool power_restored;
    };
    // now 2,000,000 s, up for an hour: booted at 1,996,400.
    const Case cases[] = {
        {1'996'399, false, true, true},
        {1'996'399, true, true, false},
        {1'996'400, false, false, false},
        {9'000'000, false, false, false},  // from the future: not before the boot
    };
    for (const auto& c : cases) {
        Fake f;
        f.dry_run = c.dry_run;
        f.overlay = kBestPerformanceOverlay;
        f.file = serialize_focus_state({c.since, guid_text(kBalanced), {{40, 1, "a.exe", 32}}});
        focus_clear_stale(f.sys());
        EXPECT_EQ(!f.file.has_value(), c.cleared) << c.since;
        EXPECT_EQ(f.overlay == kBalanced, c.power_restored) << c.since;
        for (const auto& call : f.calls)
            EXPECT_EQ(call.rfind("back", 0), std::string::npos) << call;
    }
}

}  // namespace
}  // namespace tess
