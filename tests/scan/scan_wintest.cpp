// The full scan against the real system of the Wine prefix: its own child processes, a
// listening socket, the prefix's services and a Run value the test writes.
#include <windows.h>
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "core/text.hpp"
#include "core/win.hpp"
#include "scan/scan_win.hpp"
#include "support/child.hpp"
#include "support/winutil.hpp"
#include "ui/ui_messages.hpp"

namespace tess {
namespace {

TESS_CHILD(scan_sleeper) {
    ::Sleep(60'000);
    return 0;
}

struct Child {
    win::unique_handle process;
    Child() : process(test::start_child("scan_sleeper", {})) {}
    ~Child() {
        if (process) {
            ::TerminateProcess(process.get(), 0);
            ::WaitForSingleObject(process.get(), 5'000);
        }
    }
    std::uint32_t pid() const { return ::GetProcessId(process.get()); }
};

// A per-user Run value that is removed when the test ends.
struct RunValue {
    std::string name;
    RunValue(std::string n, const std::string& command) : name(std::move(n)) {
        win::unique_hkey key;
        ::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                          0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
        const std::wstring data = win::widen(command);
        ::RegSetValueExW(key.get(), win::widen(name).c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    }
    ~RunValue() {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER,
                             L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                             win::widen(name).c_str());
    }
};

// Winsock, loaded at run time so that only this test needs it.
struct Listener {
    win::unique_hmodule dll{::LoadLibraryW(L"ws2_32.dll")};
    SOCKET s = INVALID_SOCKET;
    std::uint16_t port = 0;
    template <class F>
    F get(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(dll.get(), name)));
    }
    Listener() {
        const auto startup = get<decltype(&::WSAStartup)>("WSAStartup");
        const auto socket = get<decltype(&::socket)>("socket");
        const auto bind = get<decltype(&::bind)>("bind");
        const auto listen = get<decltype(&::listen)>("listen");
        const auto getsockname = get<decltype(&::getsockname)>("getsockname");
        if (!startup || !socket || !bind || !listen || !getsockname) return;
        WSADATA data{};
        if (startup(MAKEWORD(2, 2), &data) != 0) return;
        s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = 0x0100007F;  // 127.0.0.1
        int len = sizeof a;
        if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
            listen(s, 4) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        port = static_cast<std::uint16_t>((a.sin_port >> 8) | (a.sin_port << 8));
    }
    ~Listener() {
        if (s != INVALID_SOCKET) get<decltype(&::closesocket)>("closesocket")(s);
    }
};

struct Posted {
    UINT message;
    WPARAM w;
};

// Collects the scan messages posted to `window` until the done message or the deadline.
std::vector<Posted> collect_until_done(HWND window, std::chrono::seconds limit) {
    std::vector<Posted> got;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, QS_POSTMESSAGE);
        MSG msg;
        while (::PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
            if (msg.message != kMainProgress && msg.message != kMainScanDone) continue;
            got.push_back({msg.message, msg.wParam});
            if (msg.message == kMainScanDone) return got;
        }
    }
    return got;
}

const ProcessInfo* find_pid(const std::vector<ProcessInfo>& list, std::uint32_t pid) {
    const auto it =
        std::find_if(list.begin(), list.end(), [&](const ProcessInfo& p) { return p.pid == pid; });
    return it == list.end() ? nullptr : &*it;
}

TEST(FullScanWin, ScansThisPrefixAndPostsItsSteps) {
    test::TempDir data("scan");
    test::ScopedEnv data_dir("TESS_DATA_DIR", data.path());
    Child first, second;
    ASSERT_TRUE(first.process && second.process);
    Listener listener;
    ASSERT_NE(listener.port, 0) << "no loopback listener";
    const std::string startup_name = "TessScanTest Discord";
    RunValue run(startup_name, "\"C:\\tess-scan-test\\Update.exe\" --processStart Discord.exe");

    // Wine reports pid 0 as the owner of every socket; Windows reports the owner. The seam
    // gives the test's own listener to this process, as Windows would.
    ScanProbes probes = system_scan_probes();
    bool listener_seen = false;
    const auto real = probes.listeners;
    probes.listeners = [&](IpFamily family) {
        std::vector<TcpPort> rows = real(family);
        for (TcpPort& row : rows)
            if (row.port == listener.port) {
                listener_seen = true;
                if (row.pid == 0) row.pid = ::GetCurrentProcessId();
            }
        return rows;
    };

    // The posts arrive on a message-only window of this thread, as on the main window's.
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ScanSlot slot;
    ASSERT_TRUE(begin_scan(slot));
    std::thread worker([&] {
        run_full_scan(
            slot, probes,
            [&](int step) { ::PostMessageW(window, kMainProgress, static_cast<WPARAM>(step), 0); },
            [&] { ::PostMessageW(window, kMainScanDone, 1, 0); });
    });
    const std::vector<Posted> posted = collect_until_done(window, std::chrono::seconds(60));
    worker.join();
    ::DestroyWindow(window);

    ASSERT_EQ(posted.size(), 5u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(posted[i].message, kMainProgress);
        EXPECT_EQ(posted[i].w, static_cast<WPARAM>(i));
    }
    EXPECT_EQ(posted[4].message, kMainScanDone);
    EXPECT_EQ(posted[4].w, 1u);  // quiet

    std::lock_guard<std::mutex> lock(slot.mutex);
    EXPECT_FALSE(slot.running);
    ASSERT_TRUE(slot.result);
    const ScanResult& res = *slot.result;
    const ScanReport& r = res.report;

    const std::uint32_t own = ::GetCurrentProcessId();
    EXPECT_EQ(r.own_pid, own);
    EXPECT_GT(r.scan_time, 0u);
    EXPECT_GT(r.uptime_seconds, 0u);
    EXPECT_GT(r.memory.total_physical, 0u);
    EXPECT_TRUE(r.disk.ok);

    // The children, with their image path and command line, and our listener.
    for (const Child* c : {&first, &second}) {
        const ProcessInfo* p = find_pid(r.processes, c->pid());
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(to_lower_ascii(p->image_path), to_lower_ascii(win::exe_path()));
    }
    EXPECT_TRUE(listener_seen) << "port " << listener.port;
    const ProcessInfo* self = find_pid(r.processes, own);
    ASSERT_NE(self, nullptr);
    EXPECT_NE(std::find(self->ports.begin(), self->ports.end(), listener.port), self->ports.end());

    // The test program's group counts all three processes; only the children can be closed.
    const std::string exe_name = to_lower_ascii(self->name);
    const auto group = std::find_if(res.apps.begin(), res.apps.end(), [&](const AppGroup& g) {
        return to_lower_ascii(g.display_name) + ".exe" == exe_name;
    });
    ASSERT_NE(group, res.apps.end());
    EXPECT_GE(group->process_count, 3u);
    std::set<std::uint32_t> closable;
    for (const ProcTarget& t : group->targets)
        closable.insert(t.pid);
    EXPECT_TRUE(closable.count(first.pid()) && closable.count(second.pid()));
    EXPECT_FALSE(closable.count(own));

    // The prefix's services and the Run value we wrote, with its suggestion.
    // Test services (another test's, left by a failure in this lane) are left out.
    std::set<std::string> expected_services, got_services;
    for (const ServiceInfo& s : list_services())
        if (!s.name.starts_with("TessavoTest")) expected_services.insert(s.name);
    for (const ServiceInfo& s : r.services)
        if (!s.name.starts_with("TessavoTest")) got_services.insert(s.name);
    EXPECT_FALSE(got_services.empty());
    EXPECT_EQ(got_services, expected_services);
    const auto entry = std::find_if(r.startup.begin(), r.startup.end(),
                                    [&](const StartupEntry& e) { return e.name == startup_name; });
    ASSERT_NE(entry, r.startup.end());
    EXPECT_EQ(entry->location, StartupLocation::HkcuRun);
    EXPECT_TRUE(std::any_of(r.suggestions.begin(), r.suggestions.end(), [&](const Suggestion& s) {
        return s.title == "Don't start \"" + startup_name + "\" with Windows";
    }));

    EXPECT_EQ(r.junk.size(), 7u);
    EXPECT_GE(r.health_score, 5);
    EXPECT_GE(r.score_after, r.health_score);
}

// The console companion prints the same report as JSON, with its steps on standard error.
TEST(FullScanWin, ConsoleCompanionPrintsTheReport) {
    const std::string cli = test::built_exe("tessavo-cli.exe");
    if (!test::exists(cli)) GTEST_SKIP() << "tessavo-cli.exe is not built";
    test::TempDir dir("cli");
    test::ScopedEnv data_dir("TESS_DATA_DIR", dir.path());
    const std::string out = dir.file("out.json"), err = dir.file("err.txt");
    const int code = test::run_command("cmd.exe /c \"" + test::quote_arg(cli) + " scan --json >" +
                                       test::quote_arg(out) + " 2>" + test::quote_arg(err) + "\"");
    ASSERT_EQ(code, 0);
    const auto text = test::read_text(out);
    ASSERT_TRUE(text);
    const auto doc = json::parse_strict(*text);
    ASSERT_TRUE(doc) << doc.error();
    EXPECT_GT((*doc)["processes"].size(), 0u);
    EXPECT_EQ((*doc)["junk"].size(), 7u);
    EXPECT_TRUE((*doc)["health_score"].is_number());
    const auto steps = test::read_text(err);
    ASSERT_TRUE(steps);
    EXPECT_NE(steps->find("Step 1/4: Memory and running programs"), std::string::npos) << *steps;
    EXPECT_NE(steps->find("Step 4/4: Health checks"), std::string::npos) << *steps;

    EXPECT_EQ(test::run_command(test::quote_arg(cli) + " frobnicate"), 2);
}

}  // namespace
}  // namespace tess
