#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <initializer_list>

#include "core/text.hpp"
#include "core/win.hpp"
#include "support/child.hpp"
#include "support/winutil.hpp"
#include "sys/procs.hpp"

namespace tess {
namespace {

TESS_CHILD(probe_sleeper) {
    ::Sleep(args.empty() ? 60'000 : static_cast<DWORD>(std::stoul(args[0])));
    return 0;
}

TESS_CHILD(probe_spinner) {
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(args.empty() ? 5'000 : std::stoul(args[0]));
    volatile unsigned long long n = 0;
    while (std::chrono::steady_clock::now() < until)
        n = n + 1;
    return 0;
}

// A child that is ended when the test leaves, whatever happened.
struct Child {
    win::unique_handle process;
    explicit Child(const std::string& name, const std::vector<std::string>& args)
        : process(test::start_child(name, args)) {}
    ~Child() {
        if (process) {
            ::TerminateProcess(process.get(), 0);
            ::WaitForSingleObject(process.get(), 5'000);
        }
    }
    std::uint32_t pid() const { return ::GetProcessId(process.get()); }
    std::uint64_t created() const {
        FILETIME c{}, x{}, k{}, u{};
        if (!::GetProcessTimes(process.get(), &c, &x, &k, &u)) return 0;
        return (static_cast<std::uint64_t>(c.dwHighDateTime) << 32) | c.dwLowDateTime;
    }
    bool running() const { return ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT; }
};

const ProcessInfo* find_pid(const std::vector<ProcessInfo>& list, std::uint32_t pid) {
    const auto it =
        std::find_if(list.begin(), list.end(), [&](const ProcessInfo& p) { return p.pid == pid; });
    return it == list.end() ? nullptr : &*it;
}

std::string file_name(const std::string& path) {
    return path.substr(path.find_last_of("\\/") + 1);
}

// Under Wine a child builds its own parameters block as it starts (and spends CPU doing
// so): waits until every one of them shows its command line, and returns that list.
std::vector<ProcessInfo> wait_started(std::initializer_list<std::uint32_t> pids) {
    std::vector<ProcessInfo> list;
    for (int i = 0; i < 100; ++i) {
        list = list_processes(0, true);
        if (std::all_of(pids.begin(), pids.end(), [&](std::uint32_t pid) {
                const ProcessInfo* p = find_pid(list, pid);
                return p && !p->command_line.empty();
            }))
            break;
        ::Sleep(50);
    }
    return list;
}

TEST(ProcessesWin, ListsAChildWithItsIdentityPathAndCommandLine) {
    Child child("probe_sleeper", {"60000", "an argument with spaces"});
    ASSERT_TRUE(child.process);
    const std::vector<ProcessInfo> list = wait_started({child.pid()});
    const ProcessInfo* p = find_pid(list, child.pid());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->created, child.created());
    EXPECT_NE(p->created, 0u);
    EXPECT_EQ(to_lower_ascii(p->name), to_lower_ascii(file_name(win::exe_path())));
    EXPECT_EQ(to_lower_ascii(p->image_path), to_lower_ascii(win::exe_path()));
    // Wine refuses the command-line information class: this is the parameters-block route.
    EXPECT_NE(p->command_line.find("--child probe_sleeper 60000 \"an argument with spaces\""),
              std::string::npos)
        << p->command_line;
    EXPECT_EQ(p->parent_pid, ::GetCurrentProcessId());
    EXPECT_GT(p->working_set, 0u);
    EXPECT_EQ(p->cpu_percent, 0.0f);
    EXPECT_EQ(p->private_growth, 0);
    EXPECT_TRUE(p->ports.empty());
    EXPECT_EQ(find_pid(list, 0), nullptr);

    // Our own process is in the raw snapshot as well, with the same name.
    const auto rows = process_snapshot();
    const auto self = std::find_if(rows.begin(), rows.end(), [](const ProcessRow& r) {
        return r.pid == ::GetCurrentProcessId();
    });
    ASSERT_NE(self, rows.end());
    EXPECT_EQ(self->name, p->name);
    EXPECT_GT(self->cpu_time, 0u);

    const auto bare = list_processes(0, false);
    const ProcessInfo* q = find_pid(bare, child.pid());
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->image_path, "");
    EXPECT_EQ(q->command_line, "");
}

TEST(ProcessesWin, CpuSampleSeesTheBusyChildOnly) {
    Child spinner("probe_spinner", {"20000"});
    Child sleeper("probe_sleeper", {"20000"});
    ASSERT_TRUE(spinner.process && sleeper.process);
    wait_started({spinner.pid(), sleeper.pid()});
    // The sleeper's own start-up (a copy of this test program) may still be using CPU on a
    // busy machine: sample once its CPU time stands still.
    const auto cpu_time_of = [](std::uint32_t pid) {
        for (const ProcessRow& r : process_snapshot())
            if (r.pid == pid) return r.cpu_time;
        return std::uint64_t{0};
    };
    for (int i = 0; i < 50; ++i) {
        const std::uint64_t before = cpu_time_of(sleeper.pid());
        ::Sleep(200);
        if (cpu_time_of(sleeper.pid()) == before) break;
    }
    SYSTEM_INFO si{};
    ::GetSystemInfo(&si);
    const float one_processor = 100.0f / std::max<DWORD>(si.dwNumberOfProcessors, 1);

    const auto list = list_processes(1'000, false);
    const ProcessInfo* busy = find_pid(list, spinner.pid());
    const ProcessInfo* idle = find_pid(list, sleeper.pid());
    ASSERT_TRUE(busy && idle);
    // One thread spinning is at most one processor's share; on a machine busy with other
    // work (parallel test runs) it may get far less, but never as little as the sleeper.
    EXPECT_GT(busy->cpu_percent, one_processor * 0.05f) << one_processor;
    EXPECT_LT(busy->cpu_percent, one_processor * 1.2f) << one_processor;
    EXPECT_LT(idle->cpu_percent, one_processor * 0.02f);
    EXPECT_GT(busy->working_set, 0u);
}

TEST(ProcessesWin, EndProcessChecksIdentity) {
    Child child("probe_sleeper", {"60000"});
    ASSERT_TRUE(child.process);
    const std::uint32_t pid = child.pid();
    const std::uint64_t created = child.created();
    ASSERT_NE(created, 0u);

    // The id now "belongs to another process": nothing is ended.
    EndResult r = end_process(pid, created + 1);
    EXPECT_EQ(r.outcome, EndOutcome::Gone);
    EXPECT_TRUE(child.running());

    r = end_process(pid, created);
    EXPECT_EQ(r.outcome, EndOutcome::Ended);
    EXPECT_EQ(test::wait_exit(child.process, 10'000), 1);

    // Exited (our handle keeps the id from being reused).
    EXPECT_EQ(end_process(pid, created).outcome, EndOutcome::Gone);
    EXPECT_EQ(end_process(pid, 0).outcome, EndOutcome::Gone);
    // No such process at all.
    EXPECT_EQ(end_process(0xFFFFFFF0u, 0).outcome, EndOutcome::Gone);
}

TEST(ProcessesWin, EndProcessWithoutCreationTimeEndsWhateverHoldsTheId) {
    Child child("probe_sleeper", {"60000"});
    ASSERT_TRUE(child.process);
    EXPECT_EQ(end_process(child.pid(), 0).outcome, EndOutcome::Ended);
    EXPECT_EQ(test::wait_exit(child.process, 10'000), 1);
}

// Winsock, loaded at run time so that only this test needs it.
struct Winsock {
    win::unique_hmodule dll{::LoadLibraryW(L"ws2_32.dll")};
    template <class F>
    F get(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(dll.get(), name)));
    }
    decltype(&::WSAStartup) startup = get<decltype(&::WSAStartup)>("WSAStartup");
    decltype(&::socket) socket = get<decltype(&::socket)>("socket");
    decltype(&::bind) bind = get<decltype(&::bind)>("bind");
    decltype(&::listen) listen = get<decltype(&::listen)>("listen");
    decltype(&::connect) connect = get<decltype(&::connect)>("connect");
    decltype(&::getsockname) getsockname = get<decltype(&::getsockname)>("getsockname");
    decltype(&::closesocket) closesocket = get<decltype(&::closesocket)>("closesocket");
    bool ok() const {
        return dll && startup && socket && bind && listen && connect && getsockname && closesocket;
    }
};

struct Socket {
    const Winsock& ws;
    SOCKET s;
    Socket(const Winsock& w, int family) : ws(w), s(w.socket(family, SOCK_STREAM, IPPROTO_TCP)) {}
    ~Socket() {
        if (s != INVALID_SOCKET) ws.closesocket(s);
    }
};

// Listens on a loopback port of `family`; returns the port, 0 when the family is unavailable.
std::uint16_t listen_on(const Winsock& ws, Socket& sock, int family) {
    if (sock.s == INVALID_SOCKET) return 0;
    sockaddr_storage addr{};
    int len = 0;
    if (family == AF_INET) {
        auto* a = reinterpret_cast<sockaddr_in*>(&addr);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = 0x0100007F;  // 127.0.0.1 in network order
        len = sizeof(sockaddr_in);
    } else {
        auto* a = reinterpret_cast<sockaddr_in6*>(&addr);
        a->sin6_family = AF_INET6;
        a->sin6_addr.s6_addr[15] = 1;  // ::1
        len = sizeof(sockaddr_in6);
    }
    if (ws.bind(sock.s, reinterpret_cast<sockaddr*>(&addr), len) != 0) return 0;
    if (ws.listen(sock.s, 4) != 0) return 0;
    if (ws.getsockname(sock.s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
    const std::uint16_t net = family == AF_INET ? reinterpret_cast<sockaddr_in*>(&addr)->sin_port
                                                : reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port;
    return static_cast<std::uint16_t>((net >> 8) | (net << 8));
}

TEST(TcpWin, ListeningSocketsAppearWithTheirPorts) {
    Winsock ws;
    ASSERT_TRUE(ws.ok());
    WSADATA data{};
    ASSERT_EQ(ws.startup(MAKEWORD(2, 2), &data), 0);
    for (int family : {AF_INET, AF_INET6}) {
        const IpFamily f = family == AF_INET ? IpFamily::V4 : IpFamily::V6;
        Socket listener(ws, family);
        const std::uint16_t port = listen_on(ws, listener, family);
        if (port == 0) {
            ASSERT_EQ(family, AF_INET6) << "IPv4 listener could not be opened";
            continue;  // no IPv6 on this machine
        }
        const auto ports = tcp_ports(f);
        const auto it = std::find_if(ports.begin(), ports.end(),
                                     [&](const TcpPort& p) { return p.port == port; });
        ASSERT_NE(it, ports.end()) << "port " << port;
        // Wine usually reports pid 0 as the owner; Windows reports ours.
        EXPECT_TRUE(it->pid == ::GetCurrentProcessId() || it->pid == 0) << it->pid;

        // A connection to it shows up as established rows.
        Socket client(ws, family);
        sockaddr_storage addr{};
        int len = sizeof addr;
        ASSERT_EQ(ws.getsockname(listener.s, reinterpret_cast<sockaddr*>(&addr), &len), 0);
        ASSERT_EQ(ws.connect(client.s, reinterpret_cast<sockaddr*>(&addr), len), 0);
        const auto conns = tcp_connections(f);
        EXPECT_TRUE(std::any_of(conns.begin(), conns.end(),
                                [](const TcpState& c) { return c.state == 5; }));  // ESTAB
    }
}

}  // namespace
}  // namespace tess
