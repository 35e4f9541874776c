#include "autopilot/autopilot.hpp"

#include <algorithm>
#include <cstdio>

#include "core/json.hpp"
#include "core/overloaded.hpp"
#include "core/text.hpp"
#include "core/timeutil.hpp"
#include "core/worker.hpp"
#include "model/kb.hpp"

namespace tess {

namespace {

constexpr std::uint64_t kSecondsPerDay = 86'400;
// A run may start up to an hour before the full interval is over.
constexpr std::uint64_t kDueEarlySeconds = 3600;
constexpr std::uint64_t kMinIdleSeconds = 299;
constexpr std::uint32_t kEstablished = 5;

// SHQueryUserNotificationState: busy, full-screen Direct3D, presentation, quiet time, and
// QUNS_APP (7), a full-screen app such as a game or a slide show outside presentation mode.
constexpr std::uint32_t kUserBusyStates[] = {2, 3, 4, 6, 7};

bool sample_at_least(const CpuSample& s, std::uint64_t now, std::uint64_t age) {
    return s.time <= now && now - s.time >= age;
}

}  // namespace

std::string serialize_cpu_history(const std::vector<CpuSample>& samples) {
    json::Out root = json::Out::array();
    for (const CpuSample& s : samples) {
        json::Out procs = json::Out::array();
        for (const CpuProc& p : s.procs)
            procs.push_back(json::Out::array({p.pid, p.created, p.cpu_time}));
        json::Out o = json::Out::object();
        o["time"] = s.time;
        o["procs"] = std::move(procs);
        root.push_back(std::move(o));
    }
    return json::dump_compact(root);
}

Result<std::vector<CpuSample>> parse_cpu_history(std::string_view text) {
    return json::parse_document<std::vector<CpuSample>>(text, [](const json::Value& root) {
        std::vector<CpuSample> samples;
        for (const json::Value& item : json::expect_array(root, "cpu history")) {
            json::expect_object(item, "sample");
            CpuSample s;
            s.time = json::req_u64(item, "time");
            const json::Value& procs = json::expect_array(json::require(item, "procs"), "procs");
            s.procs.reserve(procs.size());
            for (const json::Value& p : procs) {
                json::expect_array(p, "proc");
                if (p.size() != 3) json::invalid("proc", "not three numbers");
                s.procs.push_back({json::get_u32(p[0], "pid"), json::get_u64(p[1], "created"),
                                   json::get_u64(p[2], "cpu_time")});
            }
            samples.push_back(std::move(s));
        }
        return samples;
    });
}

std::vector<CpuSample> cpu_history_from(const std::optional<std::string>& bytes) {
    if (!bytes) return {};
    auto parsed = parse_cpu_history(*bytes);
    return parsed ? std::move(*parsed) : std::vector<CpuSample>{};
}

CpuSample cpu_sample_from(const std::vector<ProcessRow>& rows, std::uint64_t now) {
    CpuSample s;
    s.time = now;
    for (const ProcessRow& r : rows)
        if (r.pid > 4) s.procs.push_back({r.pid, r.created, r.cpu_time});
    return s;
}

std::vector<CpuSample> extend_cpu_history(std::vector<CpuSample> history, CpuSample sample,
                                          std::uint64_t now) {
    std::erase_if(history, [&](const CpuSample& s) {
        return s.time > now || now - s.time > kCpuHistorySeconds;
    });
    history.push_back(std::move(sample));
    return history;
}

bool power_allows_run(const std::optional<PowerStatus>& power) {
    if (!power) return true;
    if (power->ac_line == 1 || power->battery_flag == 128) return true;
    return power->battery_percent >= 30 && power->battery_percent <= 254 && power->saver_on == 0;
}

bool user_allows_run(const std::optional<std::uint32_t>& state) {
    return !state || std::find(std::begin(kUserBusyStates), std::end(kUserBusyStates), *state) ==
                         std::end(kUserBusyStates);
}

bool autopilot_is_due(const DueFacts& f) {
    if (!f.schedule.enabled) return false;
    if (f.idle_seconds <= kMinIdleSeconds) return false;
    const std::uint64_t since = f.now > f.schedule.last_run ? f.now - f.schedule.last_run : 0;
    const std::uint64_t interval =
        std::max<std::uint64_t>(f.schedule.every_days, 1) * kSecondsPerDay;
    if (since < interval && interval - since > kDueEarlySeconds) return false;
    if (!power_allows_run(f.power) || !user_allows_run(f.notification_state)) return false;
    if (f.focus_on) return false;
    // Until the tray watch has watched for half an hour, no scheduled run starts.
    return std::any_of(f.history.begin(), f.history.end(), [&](const CpuSample& s) {
        return sample_at_least(s, f.now, kIdleWatchSeconds);
    });
}

std::string_view kept_reason_text(KeptReason reason) {
    switch (reason) {
        case KeptReason::InUse:
            return "in use";
        case KeptReason::UsedRecently:
            return "used in the last 30 minutes";
        case KeptReason::WatchedTooShort:
            return "watched for less than 30 minutes";
    }
    return "in use";
}

std::string autopilot_summary(const AutopilotRun& run) {
    std::vector<std::string> parts;
    // A test run changed nothing: it says what it would have done.
    if (run.junk_freed > 0)
        parts.push_back((run.test_run ? "would delete " : "deleted ") + size_text(run.junk_freed) +
                        " of junk files");
    if (!run.closed.empty()) {
        std::string part = run.test_run ? "would close " : "closed ";
        for (std::size_t i = 0; i < run.closed.size(); ++i)
            part += (i ? ", " : "") + run.closed[i];
        if (run.memory_freed > 0) part += " (" + size_text(run.memory_freed) + ")";
        parts.push_back(std::move(part));
    }
    if (!run.left_running.empty()) {
        std::string part = "left ";
        for (std::size_t i = 0; i < run.left_running.size(); ++i) {
            const auto& [label, reason] = run.left_running[i];
            part += (i ? ", " : "") + label + " (" + std::string(kept_reason_text(reason)) + ")";
        }
        parts.push_back(part + " running");
    }
    // What went wrong comes first, so a toast or a status cut short still shows it.
    std::string text;
    if (run.failed > 0) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%llu step(s) didn't work, see History",
                      static_cast<unsigned long long>(run.failed));
        text = buf;
    }
    if (!parts.empty()) {
        std::string done;
        for (std::size_t i = 0; i < parts.size(); ++i)
            done += (i ? "; " : "") + parts[i];
        if (done[0] >= 'a' && done[0] <= 'z') done[0] = static_cast<char>(done[0] - 'a' + 'A');
        text += text.empty() ? done : ". " + done;
    } else if (text.empty()) {
        text = "Nothing needed cleaning";
    }
    if (run.test_run) text += " (test run: nothing was changed)";
    return text;
}

std::vector<CloseItem> close_items(const std::vector<Suggestion>& suggestions,
                                   const std::vector<ProcessInfo>& processes) {
    std::vector<CloseItem> items;
    for (const Suggestion& s : suggestions) {
        if (!s.ticked || s.section != SuggestionSection::DevTool) continue;
        const auto* kill = std::get_if<KillProcesses>(&s.action);
        if (!kill) continue;
        CloseItem item;
        item.action = *kill;
        item.bytes = s.bytes;
        item.daemon = !kill->targets.empty();
        for (const ProcTarget& t : kill->targets) {
            item.procs.emplace_back(t.pid, t.created);
            const auto it = std::find_if(processes.begin(), processes.end(), [&](const auto& p) {
                return p.pid == t.pid && p.created == t.created;
            });
            if (it == processes.end()) {
                item.daemon = false;
                continue;
            }
            const RoleKind role = process_role(it->name, it->command_line).kind;
            if (role != RoleKind::GradleDaemon && role != RoleKind::KotlinDaemon)
                item.daemon = false;
        }
        items.push_back(std::move(item));
    }
    return items;
}

std::set<std::uint32_t> connected_pids(const std::vector<TcpState>& v4,
                                       const std::vector<TcpState>& v6) {
    std::set<std::uint32_t> pids;
    for (const auto* table : {&v4, &v6})
        for (const TcpState& row : *table)
            if (row.pid > 4 && row.state == kEstablished) pids.insert(row.pid);
    return pids;
}

CpuTimes cpu_times_from(const std::vector<ProcessRow>& rows) {
    CpuTimes times;
    for (const ProcessRow& r : rows)
        times[{r.pid, r.created}] = r.cpu_time;
    return times;
}

const CpuSample* reference_sample(const std::vector<CpuSample>& history, std::uint64_t now) {
    const CpuSample* best = nullptr;
    for (const CpuSample& s : history)
        if (sample_at_least(s, now, kIdleWatchSeconds) && (!best || s.time >= best->time))
            best = &s;
    return best;
}

Verdict judge_item(const CloseItem& item, bool close_dev_servers,
                   const std::set<std::uint32_t>& connected, const CpuTimes& cpu_now,
                   const std::vector<CpuSample>& history, std::uint64_t now) {
    const auto keep = [](KeptReason r) { return Verdict{Verdict::Keep, r}; };
    if (!item.daemon && !close_dev_servers) return {Verdict::Skip};
    for (const auto& key : item.procs)
        if (connected.count(key.first)) return keep(KeptReason::InUse);
    const CpuSample* ref = reference_sample(history, now);
    if (!ref) return keep(KeptReason::WatchedTooShort);
    if (cpu_now.empty() && !item.procs.empty()) return keep(KeptReason::UsedRecently);
    for (const auto& key : item.procs) {
        const auto current = cpu_now.find(key);
        if (current == cpu_now.end()) return keep(KeptReason::UsedRecently);
        const auto then = std::find_if(ref->procs.begin(), ref->procs.end(), [&](const auto& p) {
            return p.pid == key.first && p.created == key.second;
        });
        if (then == ref->procs.end()) return keep(KeptReason::UsedRecently);
        const std::uint64_t growth =
            current->second > then->cpu_time ? current->second - then->cpu_time : 0;
        if (growth >= kIdleCpuTicks) return keep(KeptReason::UsedRecently);
    }
    return {Verdict::Close};
}

AutopilotRun run_autopilot(const AutopilotSystem& sys) {
    AutopilotRun run;
    run.test_run = sys.dry_run;

    // The junk scan runs while the processes are sampled; a scan that fails finds nothing.
    // Joined on every way out of the run.
    std::vector<JunkRow> junk;
    std::jthread scanner = start_thread([&] {
        try {
            junk = sys.scan_junk();
        } catch (...) {
            junk.clear();
        }
    });

    Snapshot snap;
    snap.processes = sys.processes();
    const std::uint64_t now = sys.now();
    snap.now = unix_to_filetime(now);
    snap.own_pid = sys.own_pid;
    const Settings settings = sys.load_settings();
    std::vector<Suggestion> suggestions = build_suggestions(snap);
    apply_keep_list(suggestions, settings.keep_running);
    const std::vector<CloseItem> items = close_items(suggestions, snap.processes);

    const CpuTimes cpu_now = cpu_times_from(sys.snapshot());
    const std::vector<CpuSample> history = sys.cpu_history();
    const auto connected =
        connected_pids(sys.connections(IpFamily::V4), sys.connections(IpFamily::V6));

    std::vector<const CloseItem*> to_close;
    for (const CloseItem& item : items) {
        const Verdict v = judge_item(item, settings.autopilot.close_dev_servers, connected, cpu_now,
                                     history, now);
        if (v.kind == Verdict::Keep) run.left_running.emplace_back(item.action.label, v.reason);
        if (v.kind == Verdict::Close) to_close.push_back(&item);
    }

    scanner.join();
    std::vector<Op> ops;
    for (const CloseItem* item : to_close)
        ops.push_back(ApplyOp{item->action});
    std::uint64_t junk_found = 0;
    for (const JunkRow& row : junk) {
        if (!row.ticked || row.needs_admin || row.bytes == 0) continue;
        ops.push_back(ApplyOp{CleanJunk{row.id, row.title}});
        junk_found += row.bytes;
    }

    if (sys.dry_run) {
        for (const CloseItem* item : to_close) {
            run.closed.push_back(item->action.label);
            run.memory_freed += item->bytes;
        }
        run.junk_freed = junk_found;
    } else if (!ops.empty()) {
        // What would need administrator rights comes back and is dropped: Autopilot
        // never asks for them. Only this run's entries count, whoever else appends.
        const ExecutorRun executed = sys.apply(sys.journal_path, ops);
        for (const JournalEntry& e : executed.entries) {
            if (!e.ok) {
                ++run.failed;
                continue;
            }
            std::visit(
                overloaded{[&](const KillProcesses& k) {
                               run.closed.push_back(k.label);
                               const auto it = std::find_if(
                                   to_close.begin(), to_close.end(),
                                   [&](const CloseItem* c) { return c->action.label == k.label; });
                               if (it != to_close.end()) run.memory_freed += (*it)->bytes;
                           },
                           [&](const CleanJunk&) { run.junk_freed += e.freed_bytes; },
                           [](const auto&) {}},
                e.action);
        }
    }

    const std::string summary = autopilot_summary(run);
    const std::uint64_t end = sys.now();
    sys.update_settings([&](Settings& s) {
        s.autopilot.last_run = end;
        s.autopilot.last_result = summary;
    });
    return run;
}

}  // namespace tess
