#include "scan/scan.hpp"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <unordered_map>
#include <utility>

#include "core/memory.hpp"
#include "core/text.hpp"
#include "core/worker.hpp"

namespace tess {

namespace {

// A probe that is missing or throws contributes nothing; no reading may fail the scan.
template <class T, class F, class... Args>
T read_probe(const F& probe, Args&&... args) {
    if (!probe) return T{};
    try {
        return probe(std::forward<Args>(args)...);
    } catch (...) {
        return T{};
    }
}

}  // namespace

std::string_view scan_step_label(int step) {
    switch (step) {
        case 0:
            return "Memory and running programs";
        case 1:
            return "Junk files";
        case 2:
            return "Startup apps and services";
        case 3:
            return "Health checks";
        default:
            return "";
    }
}

void merge_listening_ports(std::vector<ProcessInfo>& processes, const std::vector<TcpPort>& v4,
                           const std::vector<TcpPort>& v6) {
    std::vector<std::pair<std::uint32_t, std::uint16_t>> pairs;
    pairs.reserve(v4.size() + v6.size());
    for (const auto* list : {&v4, &v6})
        for (const TcpPort& t : *list)
            pairs.emplace_back(t.pid, t.port);
    std::sort(pairs.begin(), pairs.end());
    pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());

    std::unordered_map<std::uint32_t, ProcessInfo*> by_pid;
    for (ProcessInfo& p : processes)
        by_pid.try_emplace(p.pid, &p);
    for (const auto& [pid, port] : pairs) {
        const auto it = by_pid.find(pid);
        if (it == by_pid.end()) continue;
        auto& ports = it->second->ports;
        if (std::find(ports.begin(), ports.end(), port) == ports.end()) ports.push_back(port);
    }
    for (ProcessInfo& p : processes)
        std::sort(p.ports.begin(), p.ports.end());
}

ScanResult full_scan(const ScanProbes& probes, const std::function<void(int)>& progress) {
    const auto step = [&](int n) {
        if (progress) progress(n);
    };

    // 1. Junk folders are measured while everything else is read.
    step(0);
    std::vector<JunkRow> junk;
    // Joined on every way out, so an exception here never leaves a thread running.
    std::jthread junk_task =
        start_thread([&] { junk = read_probe<std::vector<JunkRow>>(probes.junk); });

    // 2.-5. The machine's state. Services, startup entries and listening sockets are read
    // while the process sample waits out its two seconds, so they add nothing to the scan.
    Snapshot snap;
    std::vector<TcpPort> v4, v6;
    std::jthread lists_task = start_thread([&] {
        snap.services = read_probe<std::vector<ServiceInfo>>(probes.services);
        snap.startup = read_probe<std::vector<StartupEntry>>(probes.startup);
        v4 = read_probe<std::vector<TcpPort>>(probes.listeners, IpFamily::V4);
        v6 = read_probe<std::vector<TcpPort>>(probes.listeners, IpFamily::V6);
    });
    snap.processes = read_probe<std::vector<ProcessInfo>>(probes.processes);
    lists_task.join();
    merge_listening_ports(snap.processes, v4, v6);
    snap.memory = read_probe<MemoryStatus>(probes.memory);
    snap.now = read_probe<std::uint64_t>(probes.now);
    snap.own_pid = read_probe<std::uint32_t>(probes.own_pid);

    // 6. Junk.
    step(1);
    junk_task.join();

    // 7. The proposal.
    step(2);
    std::vector<Suggestion> suggestions = build_suggestions(snap);
    apply_keep_list(suggestions, read_probe<std::vector<std::string>>(probes.keep_running));

    // 8. Health.
    step(3);
    HealthInput health;
    health.memory = snap.memory;
    health.uptime_ms = read_probe<std::uint64_t>(probes.uptime_ms);
    health.disk = read_probe<DiskSpace>(probes.disk);
    health.ram = read_probe<std::optional<RamInfo>>(probes.ram);
    std::vector<AppGroup> apps = group_apps(snap.processes, snap.own_pid);
    health.processes = snap.processes;
    health.apps = apps;
    std::vector<HealthItem> items = run_health_checks(health);
    const HealthScore score = health_score(health, suggestions, junk, items);

    // 9. The report and what the pages need beside it.
    ScanResult out;
    ScanReport& r = out.report;
    r.disk = health.disk;
    r.ram = std::move(health.ram);
    r.uptime_seconds = health.uptime_ms / 1000;
    r.memory = snap.memory;
    r.scan_time = snap.now;
    r.own_pid = snap.own_pid;
    r.suggestions = std::move(suggestions);
    r.junk = std::move(junk);
    r.health = std::move(items);
    r.health_score = score.score;
    r.score_after = score.after_optimise;
    r.processes = std::move(snap.processes);
    r.services = std::move(snap.services);
    r.startup = std::move(snap.startup);
    out.apps = std::move(apps);
    out.services_shown = services_to_show(r.services);
    out.journal = read_probe<std::vector<JournalEntry>>(probes.journal);
    return out;
}

bool begin_scan(ScanSlot& slot) {
    std::lock_guard<std::mutex> lock(slot.mutex);
    if (slot.running) return false;
    slot.running = true;
    return true;
}

void store_scan(ScanSlot& slot, ScanResult result) {
    std::lock_guard<std::mutex> lock(slot.mutex);
    slot.result = std::move(result);
    slot.running = false;
}

// ---- JSON and text --------------------------------------------------------------------

namespace {

json::Out process_json(const ProcessInfo& p) {
    json::Out o;
    o["pid"] = p.pid;
    o["parent_pid"] = p.parent_pid;
    o["name"] = p.name;
    o["image_path"] = p.image_path;
    o["command_line"] = p.command_line;
    o["ports"] = p.ports;
    o["private_bytes"] = p.private_bytes;
    o["working_set"] = p.working_set;
    o["private_growth"] = p.private_growth;
    o["created"] = p.created;
    o["cpu_percent"] = p.cpu_percent;
    o["handles"] = p.handles;
    return o;
}

json::Out ram_json(const std::optional<RamInfo>& ram) {
    if (!ram) return nullptr;
    json::Out modules = json::Out::array();
    for (const MemoryModule& m : ram->modules) {
        json::Out o;
        o["locator"] = m.locator;
        o["type"] = m.type_label;
        o["form_factor"] = m.form_factor;
        o["part_number"] = m.part_number;
        o["size_mb"] = m.size_mb;
        o["speed_mts"] = m.speed_mts;
        o["built_in"] = m.built_in;
        modules.push_back(std::move(o));
    }
    json::Out o;
    o["modules"] = std::move(modules);
    o["empty_slots"] = ram->empty_slots;
    o["max_capacity_mb"] = ram->max_capacity_mb;
    return o;
}

}  // namespace

json::Out junk_row_json(const JunkRow& row, bool with_description) {
    json::Out i;
    i["id"] = row.id;
    i["title"] = row.title;
    if (with_description) i["description"] = row.description;
    i["files"] = row.files;
    i["bytes"] = row.bytes;
    i["complete"] = row.complete;
    i["needs_admin"] = row.needs_admin;
    i["ticked"] = row.ticked;
    return i;
}

json::Out scan_result_json(const ScanResult& result) {
    const ScanReport& r = result.report;
    json::Out o;
    o["scan_time"] = r.scan_time;
    o["own_pid"] = r.own_pid;
    o["uptime_seconds"] = r.uptime_seconds;
    o["health_score"] = r.health_score;
    o["score_after_optimise"] = r.score_after;

    json::Out memory;
    memory["total_physical"] = r.memory.total_physical;
    memory["available_physical"] = r.memory.available_physical;
    memory["commit_charge"] = r.memory.commit_charge;
    memory["commit_limit"] = r.memory.commit_limit;
    memory["level"] = memory_level_text(
        memory_level(r.memory.total_physical, r.memory.available_physical, r.memory.commit_charge));
    o["memory"] = std::move(memory);

    json::Out disk;
    disk["ok"] = r.disk.ok;
    disk["free"] = r.disk.free;
    disk["total"] = r.disk.total;
    o["disk"] = std::move(disk);
    o["ram"] = ram_json(r.ram);

    json::Out health = json::Out::array();
    for (const HealthItem& h : r.health) {
        json::Out i;
        i["severity"] = severity_text(h.severity);
        i["title"] = h.title;
        i["text"] = h.text;
        health.push_back(std::move(i));
    }
    o["health"] = std::move(health);

    json::Out suggestions = json::Out::array();
    for (const Suggestion& s : r.suggestions) {
        json::Out i;
        i["section"] = suggestion_section_text(s.section);
        i["title"] = s.title;
        i["detail"] = s.detail;
        i["bytes"] = s.bytes;
        i["ticked"] = s.ticked;
        i["action"] = write_action(s.action);
        suggestions.push_back(std::move(i));
    }
    o["suggestions"] = std::move(suggestions);

    json::Out junk = json::Out::array();
    for (const JunkRow& row : r.junk)
        junk.push_back(junk_row_json(row, false));
    o["junk"] = std::move(junk);

    json::Out apps = json::Out::array();
    for (const AppGroup& g : result.apps) {
        json::Out i;
        i["name"] = g.display_name;
        i["friendly_name"] = g.friendly_name;
        i["processes"] = g.process_count;
        i["private_bytes"] = g.private_bytes;
        i["working_set"] = g.working_set;
        i["protected"] = g.is_protected;
        i["closable"] = g.targets.size();
        apps.push_back(std::move(i));
    }
    o["apps"] = std::move(apps);

    json::Out processes = json::Out::array();
    for (const ProcessInfo& p : r.processes)
        processes.push_back(process_json(p));
    o["processes"] = std::move(processes);

    json::Out services = json::Out::array();
    for (const ServiceInfo& s : r.services) {
        json::Out i;
        i["name"] = s.name;
        i["display"] = s.display;
        i["binary_path"] = s.binary_path;
        i["start_type"] = s.start_type;
        i["pid"] = s.pid;
        i["running"] = s.running;
        services.push_back(std::move(i));
    }
    o["services"] = std::move(services);
    o["services_shown"] = result.services_shown;

    json::Out startup = json::Out::array();
    for (const StartupEntry& e : r.startup) {
        json::Out i;
        i["name"] = e.name;
        i["command"] = e.command;
        i["location"] = startup_location_text(e.location);
        i["enabled"] = e.enabled;
        startup.push_back(std::move(i));
    }
    o["startup"] = std::move(startup);
    o["journal_entries"] = result.journal.size();
    return o;
}

std::string scan_summary(const ScanResult& result) {
    const ScanReport& r = result.report;
    std::string out;
    const auto line = [&out](const std::string& text) { out += text + "\n"; };

    line("Health score: " + std::to_string(r.health_score) + " \xE2\x86\x92 " +
         std::to_string(r.score_after));
    if (r.memory.total_physical > 0) {
        const MemoryLevel level = memory_level(r.memory.total_physical, r.memory.available_physical,
                                               r.memory.commit_charge);
        line("Memory: " + size_text(r.memory.commit_charge) + " committed on " +
             size_text(r.memory.total_physical) + " of RAM, " +
             size_text(r.memory.available_physical) + " available (" +
             std::string(memory_level_text(level)) + ")");
    } else {
        line("Memory: unknown");
    }
    line(r.disk.ok ? "Drive C: " + size_text(r.disk.free) + " free of " + size_text(r.disk.total)
                   : "Drive C: unknown");
    if (r.ram && !r.ram->modules.empty()) {
        std::string modules;
        for (const MemoryModule& m : r.ram->modules) {
            if (!modules.empty()) modules += ", ";
            modules += std::to_string(m.size_mb / 1024) + " GB " + m.type_label;
        }
        line("RAM modules: " + modules + "; empty slots: " + std::to_string(r.ram->empty_slots));
    } else {
        line(r.ram ? "RAM modules: not described by the firmware" : "RAM modules: unknown");
    }
    line("Running for " + format_duration(r.uptime_seconds));

    line("");
    line("Optimise proposal:");
    if (r.suggestions.empty()) line("  nothing to propose");
    for (const Suggestion& s : r.suggestions)
        line(std::string("  [") + (s.ticked ? "x" : " ") + "] " + s.title +
             (s.bytes ? " (" + size_text(s.bytes) + ")" : "") + "\n      " + s.detail);

    line("");
    line("Junk files:");
    for (const JunkRow& j : r.junk)
        line(std::string("  [") + (j.ticked ? "x" : " ") + "] " + j.title + ": " +
             size_text(j.bytes) + " in " + std::to_string(j.files) + " files" +
             (j.complete ? "" : " (some folders could not be read)"));

    line("");
    line("Health:");
    if (r.health.empty()) line("  no problems found");
    for (const HealthItem& h : r.health)
        line("  " + std::string(severity_text(h.severity)) + ": " + h.title + "\n      " + h.text);

    line("");
    const std::size_t shown = std::min<std::size_t>(result.apps.size(), 10);
    line("Apps using memory (" + std::to_string(shown) + " of " +
         std::to_string(result.apps.size()) + "):");
    for (std::size_t i = 0; i < shown; ++i) {
        const AppGroup& g = result.apps[i];
        line("  " + g.display_name + (g.friendly_name.empty() ? "" : " - " + g.friendly_name) +
             ": " + size_text(g.private_bytes) + " (" + std::to_string(g.process_count) +
             (g.process_count == 1 ? " process)" : " processes)"));
    }

    std::size_t listening = 0;
    for (const ProcessInfo& p : r.processes)
        listening += p.ports.empty() ? 0 : 1;
    line("");
    line(std::to_string(r.processes.size()) + " processes (" + std::to_string(listening) +
         " listening), " + std::to_string(r.services.size()) + " services (" +
         std::to_string(result.services_shown.size()) + " worth a look), " +
         std::to_string(r.startup.size()) + " startup entries");
    return out;
}

}  // namespace tess
