#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/json.hpp"
#include "core/text.hpp"
#include "core/timeutil.hpp"
#include "scan/scan.hpp"

namespace tess {
namespace {

constexpr std::uint64_t kMB = 1024ull * 1024;
constexpr std::uint64_t kGB = 1024 * kMB;
constexpr std::uint64_t kNow = unix_to_filetime(1'700'000'000);

ProcessInfo proc(std::uint32_t pid, std::string name, std::vector<std::uint16_t> ports = {}) {
    ProcessInfo p;
    p.pid = pid;
    p.name = std::move(name);
    p.ports = std::move(ports);
    return p;
}

TEST(ListeningPorts, MergedOncePerProcessAndSorted) {
    std::vector<ProcessInfo> list = {proc(10, "node.exe", {9229}), proc(11, "postgres.exe"),
                                     proc(12, "idle.exe")};
    const std::vector<TcpPort> v4 = {{10, 5173}, {11, 5432}, {10, 5173}, {0, 135}, {99, 80}};
    const std::vector<TcpPort> v6 = {{10, 5173}, {10, 9229}, {11, 5432}, {10, 3000}};
    merge_listening_ports(list, v4, v6);
    EXPECT_EQ(list[0].ports, (std::vector<std::uint16_t>{3000, 5173, 9229}));
    EXPECT_EQ(list[1].ports, std::vector<std::uint16_t>{5432});
    EXPECT_TRUE(list[2].ports.empty());
}

std::vector<int> steps_of(const ScanProbes& probes, ScanResult* out = nullptr) {
    std::vector<int> steps;
    ScanResult r = full_scan(probes, [&](int s) { steps.push_back(s); });
    if (out) *out = std::move(r);
    return steps;
}

TEST(FullScan, FailingProbesGiveAnEmptyReportNotAFailure) {
    ScanResult empty;
    EXPECT_EQ(steps_of(ScanProbes{}, &empty), (std::vector<int>{0, 1, 2, 3}));

    ScanProbes throwing;
    const auto boom = [] { throw std::runtime_error("probe failed"); };
    throwing.junk = [&]() -> std::vector<JunkRow> {
        boom();
        return {};
    };
    throwing.services = [&]() -> std::vector<ServiceInfo> {
        boom();
        return {};
    };
    throwing.startup = [&]() -> std::vector<StartupEntry> {
        boom();
        return {};
    };
    throwing.processes = [&]() -> std::vector<ProcessInfo> {
        boom();
        return {};
    };
    throwing.listeners = [&](IpFamily) -> std::vector<TcpPort> { throw std::bad_alloc(); };
    throwing.memory = [&]() -> MemoryStatus {
        boom();
        return {};
    };
    throwing.disk = [&]() -> DiskSpace {
        boom();
        return {};
    };
    throwing.ram = [&]() -> std::optional<RamInfo> {
        boom();
        return {};
    };
    throwing.keep_running = [&]() -> std::vector<std::string> {
        boom();
        return {};
    };
    throwing.journal = [&]() -> std::vector<JournalEntry> {
        boom();
        return {};
    };
    ScanResult thrown;
    EXPECT_EQ(steps_of(throwing, &thrown), (std::vector<int>{0, 1, 2, 3}));

    for (const ScanResult* r : {&empty, &thrown}) {
        const ScanReport& rep = r->report;
        EXPECT_TRUE(rep.processes.empty() && rep.services.empty() && rep.startup.empty());
        EXPECT_TRUE(rep.suggestions.empty() && rep.junk.empty() && rep.health.empty());
        EXPECT_EQ(rep.memory, MemoryStatus{});
        EXPECT_FALSE(rep.disk.ok);
        EXPECT_FALSE(rep.ram);
        EXPECT_EQ(rep.health_score, 100);
        EXPECT_EQ(rep.score_after, 100);
        EXPECT_TRUE(r->apps.empty() && r->services_shown.empty() && r->journal.empty());
    }
}

// The junk measurement and the service, startup and port lists must run beside the
// process sample, not after it: the sample waits for all three to have started, and each
// of them for the sample.
TEST(FullScan, SlowReadsRunBesideTheSample) {
    std::mutex m;
    std::condition_variable cv;
    int others_started = 0;
    bool sample_started = false;
    std::atomic<int> saw_sample{0};
    bool sample_saw_others = false;
    const auto other = [&] {
        std::unique_lock<std::mutex> lock(m);
        ++others_started;
        cv.notify_all();
        if (cv.wait_for(lock, std::chrono::seconds(10), [&] { return sample_started; }))
            ++saw_sample;
    };
    std::vector<int> steps_at_sample;
    std::vector<int> steps;
    ScanProbes p;
    p.junk = [&] {
        other();
        return std::vector<JunkRow>(7);
    };
    p.services = [&] {
        other();
        return std::vector<ServiceInfo>(2);
    };
    p.listeners = [&](IpFamily f) {
        if (f == IpFamily::V4) other();
        return std::vector<TcpPort>{{5, 80}};
    };
    p.processes = [&] {
        steps_at_sample = steps;
        std::unique_lock<std::mutex> lock(m);
        sample_started = true;
        cv.notify_all();
        sample_saw_others =
            cv.wait_for(lock, std::chrono::seconds(10), [&] { return others_started == 3; });
        return std::vector<ProcessInfo>{proc(5, "server.exe")};
    };
    const ScanResult r = full_scan(p, [&](int s) { steps.push_back(s); });
    EXPECT_TRUE(sample_saw_others);
    EXPECT_EQ(saw_sample.load(), 3);
    EXPECT_EQ(steps_at_sample, std::vector<int>{0});  // sampled within step 0
    EXPECT_EQ(r.report.junk.size(), 7u);
    EXPECT_EQ(r.report.services.size(), 2u);
    EXPECT_EQ(r.report.processes[0].ports, std::vector<std::uint16_t>{80});
}

TEST(FullScan, AssemblesTheReport) {
    const char* gradle = "java -cp x org.gradle.launcher.daemon.bootstrap.GradleDaemon 8.5";
    ScanProbes p;
    p.now = [] { return kNow; };
    p.own_pid = [] { return 77u; };
    p.processes = [&] {
        ProcessInfo daemon = proc(10, "java.exe");
        daemon.command_line = gradle;
        daemon.created = kNow - 3600 * kTicksPerSecond;
        daemon.private_bytes = 800 * kMB;
        ProcessInfo own = proc(77, "Tessavo.exe");
        own.private_bytes = 50 * kMB;
        ProcessInfo pg = proc(20, "postgres.exe");
        pg.private_bytes = 120 * kMB;
        return std::vector<ProcessInfo>{daemon, own, pg};
    };
    p.listeners = [](IpFamily f) {
        return f == IpFamily::V4 ? std::vector<TcpPort>{{20, 5432}}
                                 : std::vector<TcpPort>{{20, 5432}, {77, 8080}};
    };
    p.services = [] {
        return std::vector<ServiceInfo>{
            {"postgresql-x64-16", "PostgreSQL", "C:\\pg\\pg_ctl.exe", 2, 20, true},
            {"Spooler", "Print Spooler", "C:\\Windows\\System32\\spoolsv.exe", 2, 30, true}};
    };
    p.startup = [] {
        return std::vector<StartupEntry>{
            {"Spotify", "spotify.exe", StartupLocation::HkcuRun, true}};
    };
    p.memory = [] { return MemoryStatus{16 * kGB, 4 * kGB, 12 * kGB, 24 * kGB}; };
    p.keep_running = [] { return std::vector<std::string>{"gradle daemon"}; };
    p.uptime_ms = [] { return std::uint64_t{90'061'999}; };
    p.disk = [] { return DiskSpace{true, 4 * kGB, 100 * kGB}; };
    p.ram = [] { return std::optional<RamInfo>(RamInfo{{}, 2, 65536}); };
    p.junk = [] {
        std::vector<JunkRow> rows(7);
        rows[0].id = "user_temp";
        rows[0].bytes = 2 * kGB;
        rows[0].ticked = true;
        return rows;
    };
    p.journal = [] { return std::vector<JournalEntry>(3); };

    ScanResult res;
    steps_of(p, &res);
    const ScanReport& r = res.report;
    EXPECT_EQ(r.scan_time, kNow);
    EXPECT_EQ(r.own_pid, 77u);
    EXPECT_EQ(r.uptime_seconds, 90'061u);
    EXPECT_EQ(r.memory.commit_charge, 12 * kGB);
    EXPECT_TRUE(r.disk.ok);
    ASSERT_TRUE(r.ram);
    EXPECT_EQ(r.ram->empty_slots, 2u);
    ASSERT_EQ(r.processes.size(), 3u);
    EXPECT_EQ(r.processes[2].ports, std::vector<std::uint16_t>{5432});
    EXPECT_EQ(r.processes[1].ports, std::vector<std::uint16_t>{8080});

    ASSERT_EQ(r.suggestions.size(), 3u);
    EXPECT_EQ(r.suggestions[0].title, "Stop the Gradle daemon");
    EXPECT_FALSE(r.suggestions[0].ticked);  // kept running
    EXPECT_EQ(r.suggestions[1].bytes, 120 * kMB);
    EXPECT_EQ(r.suggestions[2].section, SuggestionSection::StartupApp);

    EXPECT_EQ(r.junk.size(), 7u);
    ASSERT_EQ(r.health.size(), 1u);
    EXPECT_EQ(r.health[0].title, "Low disk space on C:");
    // 100, ticked 120 MB service and 0-byte startup app -4, junk -10, two startup/service
    // suggestions -6, one problem -8.
    EXPECT_EQ(r.health_score, 72);
    EXPECT_EQ(r.score_after, 92);

    ASSERT_EQ(res.apps.size(), 3u);
    EXPECT_EQ(res.apps[0].display_name, "java");
    EXPECT_EQ(res.apps[2].display_name, "Tessavo");
    EXPECT_TRUE(res.apps[2].targets.empty());
    EXPECT_EQ(res.services_shown, std::vector<std::size_t>{0});
    EXPECT_EQ(res.journal.size(), 3u);
}

TEST(ScanSlot, OneScanAtATimeAndWholeReplacement) {
    ScanSlot slot;
    EXPECT_TRUE(begin_scan(slot));
    EXPECT_FALSE(begin_scan(slot));
    ScanResult first;
    first.report.own_pid = 1;
    store_scan(slot, std::move(first));
    EXPECT_TRUE(begin_scan(slot));
    ScanResult second;
    second.report.own_pid = 2;
    store_scan(slot, std::move(second));
    std::lock_guard<std::mutex> lock(slot.mutex);
    ASSERT_TRUE(slot.result);
    EXPECT_EQ(slot.result->report.own_pid, 2u);
    EXPECT_FALSE(slot.running);
}

TEST(ScanOutput, JsonAndSummarySurviveOddInput) {
    ScanResult res;
    ProcessInfo odd = proc(5, "bad\xFF\xFEname.exe", {80});
    odd.command_line = std::string("a\0b\"\\\x01", 7);
    odd.cpu_percent = std::nanf("");
    res.report.processes = {odd};
    res.report.memory = {8 * kGB, 2 * kGB, 4 * kGB, 10 * kGB};
    res.report.health = {{"Restart your PC", "It has been running", Severity::Warning}};
    Suggestion s;
    s.title = "Close Widgets board";
    s.action = KillProcesses{"Widgets board", {{5, "widgets.exe", 1}}};
    s.bytes = 3 * kMB;
    s.ticked = true;
    s.section = SuggestionSection::BackgroundApp;
    res.report.suggestions = {s};
    res.report.ram = RamInfo{};
    res.apps = group_apps(res.report.processes, 0);
    res.report.health_score = 95;
    res.report.score_after = 100;

    const std::string text = json::dump_pretty(scan_result_json(res));
    const auto parsed = json::parse_strict(text);
    ASSERT_TRUE(parsed) << parsed.error();
    const json::Value& v = *parsed;
    EXPECT_EQ(v["health_score"], 95);
    EXPECT_EQ(v["score_after_optimise"], 100);
    EXPECT_EQ(v["memory"]["level"], "Normal");
    EXPECT_EQ(v["suggestions"][0]["section"], "background_app");
    EXPECT_EQ(v["suggestions"][0]["action"]["kind"], "kill_processes");
    EXPECT_EQ(v["health"][0]["severity"], "Warning");
    EXPECT_EQ(v["processes"][0]["ports"][0], 80);
    EXPECT_TRUE(v["processes"][0]["cpu_percent"].is_null());
    EXPECT_TRUE(v["ram"]["modules"].empty());
    EXPECT_TRUE(v["disk"]["ok"] == false);

    const std::string summary = scan_summary(res);
    EXPECT_NE(summary.find("Health score: 95 \u2192 100\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("  [x] Close Widgets board (3 MB)"), std::string::npos) << summary;
    EXPECT_NE(summary.find("  Warning: Restart your PC"), std::string::npos) << summary;
}

// The scan document and the junk listing write the same row; only the listing carries
// the description, and the keys keep the order the schemas give.
TEST(ScanOutput, JunkRowKeysInOrder) {
    JunkRow row;
    row.id = "user_temp";
    row.title = "Temporary files";
    row.description = "Left by apps";
    row.files = 3;
    row.bytes = 4096;
    row.ticked = true;
    EXPECT_EQ(json::dump_compact(junk_row_json(row, false)),
              R"({"id":"user_temp","title":"Temporary files","files":3,"bytes":4096,)"
              R"("complete":true,"needs_admin":false,"ticked":true})");
    EXPECT_EQ(json::dump_compact(junk_row_json(row, true)),
              R"({"id":"user_temp","title":"Temporary files","description":"Left by apps",)"
              R"("files":3,"bytes":4096,"complete":true,"needs_admin":false,"ticked":true})");
    ScanResult res;
    res.report.junk = {row};
    EXPECT_EQ(scan_result_json(res)["junk"][0], junk_row_json(row, false));
}

}  // namespace
}  // namespace tess
