#include "scan/analyze.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "core/text.hpp"
#include "core/timeutil.hpp"
#include "model/kb.hpp"

namespace tess {

namespace {

constexpr std::uint64_t kDaemonMinAge = 600;      // seconds; younger ones may be mid-build
constexpr std::uint64_t kDevServerMinAge = 1800;  // seconds
constexpr float kBusyCpu = 1.0f;                  // percent of the machine
constexpr std::uint32_t kServiceAutomatic = 2;
constexpr std::uint32_t kServiceManual = 3;

constexpr std::string_view kUnknownProject = "unknown project";
constexpr std::string_view kKeptText = " You chose to keep it running, so it isn't ticked.";
constexpr std::string_view kStartupDetail =
    "Starts with Windows and uses memory before you open anything. The app still works when "
    "you open it yourself.";

ProcTarget target_of(const ProcessInfo& p) {
    return {p.pid, p.name, p.created};
}

void sort_by_bytes(std::vector<Suggestion>& list) {
    std::stable_sort(list.begin(), list.end(),
                     [](const Suggestion& a, const Suggestion& b) { return a.bytes > b.bytes; });
}

struct Daemon {
    const ProcessInfo* process;
    std::uint64_t age;
    bool idle;
};

struct DevServer {
    std::string project;
    const ProcessInfo* process;
    std::string framework;
    const ProcessInfo* parent;  // the package manager that started it, if any
};

struct Helper {
    std::string description;
    std::vector<ProcTarget> targets;
    std::uint64_t bytes = 0;
};

void add_daemon_suggestions(const std::array<std::vector<Daemon>, 3>& daemons,
                            std::vector<Suggestion>& out) {
    for (DaemonKind kind : kDaemonKinds) {
        const auto& list = daemons[static_cast<std::size_t>(kind)];
        if (list.empty()) continue;
        const DaemonInfo& info = daemon_info(kind);
        const std::size_t n = list.size();
        const std::string label = n == 1 ? std::string(info.singular)
                                         : std::to_string(n) + " " + std::string(info.plural);
        std::uint64_t oldest = 0, bytes = 0;
        bool all_idle = true;
        KillProcesses kill{label, {}};
        for (const Daemon& d : list) {
            oldest = std::max(oldest, d.age);
            bytes += d.process->private_bytes;
            all_idle = all_idle && d.idle;
            kill.targets.push_back(target_of(*d.process));
        }
        Suggestion s;
        s.title = "Stop " + std::string(n == 1 ? "the " : "") + label;
        s.detail = "Running for " + format_duration(oldest) + ", " +
                   (all_idle ? "using no CPU" : "still using some CPU (may be in use)") + ". " +
                   std::string(info.description);
        s.action = std::move(kill);
        s.bytes = bytes;
        s.ticked = all_idle;
        s.section = SuggestionSection::DevTool;
        out.push_back(std::move(s));
    }
}

void add_dev_server_suggestions(const Snapshot& snap, const std::vector<DevServer>& servers,
                                std::vector<Suggestion>& out) {
    std::map<std::string, std::size_t> per_project;
    for (const DevServer& d : servers)
        ++per_project[d.project];

    for (const DevServer& d : servers) {
        const ProcessInfo& p = *d.process;
        const std::size_t copies = per_project[d.project];
        const std::uint64_t age = process_age(p.created, snap.now);
        if (copies < 2 && age < kDevServerMinAge) continue;

        float cpu = p.cpu_percent;
        if (d.parent) cpu += d.parent->cpu_percent;

        // The dev server, the helpers it started (esbuild...), then the package manager.
        KillProcesses kill{std::string(d.framework) + " dev server (" + d.project + ")", {}};
        std::unordered_set<std::uint32_t> seen;
        std::uint64_t bytes = 0;
        const auto add = [&](const ProcessInfo& t) {
            if (!seen.insert(t.pid).second) return;
            kill.targets.push_back(target_of(t));
            bytes += t.private_bytes;
        };
        add(p);
        for (const ProcessInfo& c : snap.processes) {
            // A child with an earlier creation time holds a reused parent id, not ours.
            if (c.parent_pid != p.pid || c.created < p.created || c.pid == 0) continue;
            if (c.pid == snap.own_pid || is_protected_process(c.name)) continue;
            add(c);
        }
        if (d.parent) add(*d.parent);

        std::vector<std::uint16_t> ports = p.ports;
        if (d.parent) ports.insert(ports.end(), d.parent->ports.begin(), d.parent->ports.end());
        std::sort(ports.begin(), ports.end());
        ports.erase(std::unique(ports.begin(), ports.end()), ports.end());

        std::string cpu_words = "using no CPU";
        if (is_busy(cpu, kBusyCpu)) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "still using %.1f%% CPU (may be in use)",
                          static_cast<double>(cpu));
            cpu_words = buf;
        }

        Suggestion s;
        s.title = "Stop " + d.framework + " dev server: " + d.project + port_text(ports);
        s.detail = "Running for " + format_duration(age) + ", " + cpu_words + ".";
        if (copies >= 2)
            s.detail +=
                " " + std::to_string(copies) + " copies of this project's dev server are running.";
        s.detail +=
            " Start it again with your dev command (for example npm run dev) when you "
            "need it.";
        s.action = std::move(kill);
        s.bytes = bytes;
        s.ticked = !is_busy(cpu, kBusyCpu) && age >= kDevServerMinAge;
        s.section = SuggestionSection::DevTool;
        out.push_back(std::move(s));
    }
}

void add_helper_suggestions(const std::map<std::string, Helper>& helpers,
                            std::vector<Suggestion>& out) {
    for (const auto& [name, h] : helpers) {
        Suggestion s;
        s.title = "Close " + name;
        s.detail = h.description;
        s.action = KillProcesses{name, h.targets};
        s.bytes = h.bytes;
        s.ticked = true;
        s.section = SuggestionSection::BackgroundApp;
        out.push_back(std::move(s));
    }
}

void add_service_suggestions(const Snapshot& snap,
                             const std::unordered_map<std::uint32_t, const ProcessInfo*>& by_pid,
                             std::vector<Suggestion>& out) {
    for (const ServiceInfo& svc : snap.services) {
        if (is_protected_service(svc.name) || svc.start_type != kServiceAutomatic) continue;
        const auto description = service_description(svc.name);
        if (!description) continue;
        std::uint64_t bytes = 0;
        if (svc.running && svc.pid != 0) {
            const auto it = by_pid.find(svc.pid);
            // A shared svchost holds other services too: ending this one frees little of it.
            if (it != by_pid.end() && to_lower_ascii(it->second->name) != "svchost.exe")
                bytes = it->second->private_bytes;
        }
        const std::string& shown = svc.display.empty() ? svc.name : svc.display;
        Suggestion s;
        s.title = "Start \"" + shown + "\" only when needed";
        s.detail = *description;
        s.action = SetServiceStart{svc.name, svc.display, kServiceManual, svc.running};
        s.bytes = bytes;
        s.ticked = true;
        s.section = SuggestionSection::Service;
        out.push_back(std::move(s));
    }
}

void add_startup_suggestions(const Snapshot& snap, std::vector<Suggestion>& out) {
    for (const StartupEntry& e : snap.startup) {
        if (!e.enabled || is_protected_startup(e.name) || !startup_description(e.name)) continue;
        const std::string path = startup_program_path(e.command);
        std::uint64_t bytes = 0;
        if (!path.empty())
            for (const ProcessInfo& p : snap.processes)
                if (to_lower_ascii(p.image_path) == path) bytes += p.private_bytes;
        Suggestion s;
        s.title = "Don't start \"" + e.name + "\" with Windows";
        s.detail = std::string(kStartupDetail);
        s.action = SetStartupEnabled{e.location, e.name, false};
        s.bytes = bytes;
        s.ticked = true;
        s.section = SuggestionSection::StartupApp;
        out.push_back(std::move(s));
    }
}

}  // namespace

std::string_view suggestion_section_text(SuggestionSection section) {
    switch (section) {
        case SuggestionSection::BackgroundApp:
            return "background_app";
        case SuggestionSection::Service:
            return "service";
        case SuggestionSection::StartupApp:
            return "startup_app";
        case SuggestionSection::DevTool:
            break;
    }
    return "dev_tool";
}

std::vector<AppGroup> group_apps(const std::vector<ProcessInfo>& processes, std::uint32_t own_pid) {
    // Keyed by the lower-cased name, so the map's order is the tie order.
    std::map<std::string, AppGroup> groups;
    for (const ProcessInfo& p : processes) {
        if (p.pid == 0) continue;
        const std::string key = to_lower_ascii(p.name);
        auto [it, fresh] = groups.try_emplace(key);
        AppGroup& g = it->second;
        if (fresh) {
            g.display_name = p.name;
            if (ends_with(key, ".exe")) g.display_name.resize(g.display_name.size() - 4);
            g.friendly_name = friendly_name(p.name);
            g.is_protected = is_protected_process(p.name);
        }
        ++g.process_count;
        g.private_bytes += p.private_bytes;
        g.working_set += p.working_set;
        if (p.pid != own_pid && !g.is_protected) g.targets.push_back(target_of(p));
    }
    std::vector<AppGroup> out;
    out.reserve(groups.size());
    for (auto& [key, g] : groups)
        out.push_back(std::move(g));
    std::stable_sort(out.begin(), out.end(), [](const AppGroup& a, const AppGroup& b) {
        return a.private_bytes > b.private_bytes;
    });
    return out;
}

std::uint64_t process_age(std::uint64_t created, std::uint64_t now) {
    if (created == 0 || created > now) return 0;
    return (now - created) / kTicksPerSecond;
}

std::string format_duration(std::uint64_t s) {
    if (s >= 86400)
        return std::to_string(s / 86400) + "d " + std::to_string(s % 86400 / 3600) + "h";
    if (s >= 3600) return std::to_string(s / 3600) + "h " + std::to_string(s % 3600 / 60) + "m";
    if (s < 60) return "under a minute";
    return std::to_string(s / 60) + "m";
}

std::string dev_server_project(std::string_view command_line) {
    std::string text(command_line);
    std::replace(text.begin(), text.end(), '/', '\\');
    const std::size_t at = to_lower_ascii(text).find("\\node_modules\\");
    if (at == std::string::npos) return std::string(kUnknownProject);
    const std::string before = text.substr(0, at);
    const std::size_t cut = before.find_last_of("\\\"'");
    const std::string project(trim(cut == std::string::npos ? before : before.substr(cut + 1)));
    if (project.empty() || project.back() == ':') return std::string(kUnknownProject);
    return project;
}

std::string startup_program_path(std::string_view command) {
    const std::string c(trim(command));
    std::string path;
    if (!c.empty() && c.front() == '"') {
        const std::size_t close = c.find('"', 1);
        path = c.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else if (const std::size_t exe = to_lower_ascii(c).find(".exe"); exe != std::string::npos) {
        path = c.substr(0, exe + 4);
    } else {
        const std::size_t space = c.find_first_of(" \t\r\n\v\f");
        path = c.substr(0, space);
    }
    return to_lower_ascii(path);
}

std::string port_text(const std::vector<std::uint16_t>& ports) {
    if (ports.empty()) return {};
    if (ports.size() == 1) return " (port " + std::to_string(ports[0]) + ")";
    std::string out = " (ports ";
    for (std::size_t i = 0; i < ports.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(ports[i]);
    }
    return out + ")";
}

std::vector<Suggestion> build_suggestions(const Snapshot& snap) {
    std::unordered_map<std::uint32_t, const ProcessInfo*> by_pid;
    for (const ProcessInfo& p : snap.processes)
        by_pid.try_emplace(p.pid, &p);

    std::array<std::vector<Daemon>, 3> daemons;
    std::vector<DevServer> servers;
    std::map<std::string, Helper> helpers;
    for (const ProcessInfo& p : snap.processes) {
        // Never propose ending this program or a part of Windows.
        if (p.pid == snap.own_pid || p.pid == 0 || is_protected_process(p.name)) continue;
        const ProcessRole role = process_role(p.name, p.command_line);
        if (const auto kind = daemon_kind(role.kind)) {
            const std::uint64_t age = process_age(p.created, snap.now);
            if (age >= kDaemonMinAge)
                daemons[static_cast<std::size_t>(*kind)].push_back(
                    {&p, age, !is_busy(p.cpu_percent, kBusyCpu)});
        } else if (role.kind == RoleKind::DevServer) {
            const ProcessInfo* parent = nullptr;
            if (p.parent_pid != 0 && p.parent_pid != p.pid) {
                const auto it = by_pid.find(p.parent_pid);
                // A parent created after its child holds a reused id.
                if (it != by_pid.end() && it->second->pid != snap.own_pid &&
                    is_package_manager_cli(it->second->name, it->second->command_line) &&
                    !(it->second->created != 0 && p.created != 0 &&
                      it->second->created > p.created))
                    parent = it->second;
            }
            servers.push_back({dev_server_project(p.command_line), &p, role.name, parent});
        } else if (role.kind == RoleKind::BackgroundHelper) {
            Helper& h = helpers[role.name];
            if (h.targets.empty()) h.description = role.description;
            h.targets.push_back(target_of(p));
            h.bytes += p.private_bytes;
        }
    }

    std::vector<Suggestion> out;
    add_daemon_suggestions(daemons, out);
    add_dev_server_suggestions(snap, servers, out);
    add_helper_suggestions(helpers, out);
    add_service_suggestions(snap, by_pid, out);
    add_startup_suggestions(snap, out);
    sort_by_bytes(out);
    return out;
}

std::string keep_key(std::string_view label) {
    std::string key = to_lower_ascii(label);
    const std::size_t space = key.find(' ');
    if (space != std::string::npos &&
        std::all_of(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(space),
                    [](char c) { return c >= '0' && c <= '9'; }))
        key.erase(0, space + 1);
    const auto replace_all = [&key](std::string_view from, std::string_view to) {
        for (std::size_t at = key.find(from); at != std::string::npos;
             at = key.find(from, at + to.size()))
            key.replace(at, from.size(), to);
    };
    replace_all("daemons", "daemon");
    replace_all("servers", "server");
    return key;
}

void apply_keep_list(std::vector<Suggestion>& suggestions,
                     const std::vector<std::string>& keep_running) {
    for (Suggestion& s : suggestions) {
        const auto* kill = std::get_if<KillProcesses>(&s.action);
        if (!kill) continue;
        const std::string key = keep_key(kill->label);
        if (std::find(keep_running.begin(), keep_running.end(), key) == keep_running.end())
            continue;
        s.ticked = false;
        s.detail += kKeptText;
    }
}

std::vector<std::size_t> services_to_show(const std::vector<ServiceInfo>& services) {
    std::vector<std::size_t> shown;
    for (std::size_t i = 0; i < services.size(); ++i) {
        const ServiceInfo& s = services[i];
        if (service_description(s.name)) {
            shown.push_back(i);
            continue;
        }
        if (!s.running) continue;
        const std::string path = to_lower_ascii(s.binary_path);
        if (contains(path, "\\windows defender\\")) continue;
        const bool windows_own = contains(path, "\\windows\\system32\\") ||
                                 contains(path, "\\windows\\syswow64\\") ||
                                 starts_with(path, "\\systemroot");
        // A vendor driver's helper lives in the driver store, under System32.
        if (!windows_own || contains(path, "\\driverstore\\")) shown.push_back(i);
    }
    std::stable_sort(shown.begin(), shown.end(), [&](std::size_t a, std::size_t b) {
        const ServiceInfo& x = services[a];
        const ServiceInfo& y = services[b];
        if (x.running != y.running) return x.running;
        return to_lower_ascii(x.display.empty() ? x.name : x.display) <
               to_lower_ascii(y.display.empty() ? y.name : y.display);
    });
    return shown;
}

}  // namespace tess
