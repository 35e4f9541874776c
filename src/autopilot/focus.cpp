#include "autopilot/focus.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "core/json.hpp"
#include "core/text.hpp"
#include "model/kb.hpp"

namespace tess {

namespace {

constexpr std::string_view kNeverSlow[] = {
    "spotify.exe",
    "vlc.exe",
    "wmplayer.exe",
    "music.ui.exe",
    "applemusic.exe",
    "itunes.exe",
    "foobar2000.exe",
    "zoom.exe",
    "teams.exe",
    "ms-teams.exe",
    "msteams.exe",
    "discord.exe",
    "skype.exe",
    "slack.exe",
    "webex.exe",
    "obs64.exe",
    "obs32.exe",
    "streamlabs obs.exe",
    "chrome.exe",
    "msedge.exe",
    "firefox.exe",
    "brave.exe",
    "opera.exe",
    "vivaldi.exe",
    "msedgewebview2.exe",
    "searchhost.exe",
    "lockapp.exe",
    "applicationframehost.exe",
    "systemsettings.exe",
    "taskmgr.exe",
    "easyanticheat.exe",
    "easyanticheat_eos.exe",
    "beservice.exe",
    "vgc.exe",
    "vgtray.exe",
    "faceit.exe",
    "faceitclient.exe",
    "nvcontainer.exe",
    "nvidia share.exe",
    "nvidia overlay.exe",
    "radeonsoftware.exe",
    "amdrsserv.exe",
    "phoneexperiencehost.exe",
};

bool same_process(const Slowed& s, const ProcessInfo& p) {
    return s.pid == p.pid && s.created == p.created;
}

std::string with_count(const char* format, std::uint64_t n) {
    char buf[128];
    std::snprintf(buf, sizeof buf, format, static_cast<unsigned long long>(n));
    return buf;
}

// Reads focus.json; an invalid file is no state.
std::optional<FocusState> load_state(const FocusSystem& sys) {
    const auto bytes = sys.read_state();
    if (!bytes) return std::nullopt;
    auto parsed = parse_focus_state(*bytes);
    if (!parsed) return std::nullopt;
    return std::move(*parsed);
}

void write_state(const FocusSystem& sys, const FocusState& state) {
    sys.write_state(serialize_focus_state(state));
}

// Puts the overlay from before back, when its text is valid and powrprof can.
void restore_power(const FocusSystem& sys, const std::optional<std::string>& power_prev) {
    if (!power_prev) return;
    const auto guid = parse_guid_text(*power_prev);
    if (!guid || !sys.power.available()) return;
    sys.power.set_active(*guid);
}

// Slows each candidate, recording it at once: a program is never slowed without a
// record, even if this process ends in the middle of the list.
void slow_candidates(const FocusSystem& sys, FocusState& state,
                     const std::vector<ProcessInfo>& candidates) {
    for (const ProcessInfo& p : candidates) {
        if (sys.dry_run) {
            state.slowed.push_back({p.pid, p.created, p.name, 0});
            continue;
        }
        const auto priority = sys.slow(p);
        if (!priority) continue;
        state.slowed.push_back({p.pid, p.created, p.name, *priority});
        write_state(sys, state);
    }
}

}  // namespace

std::string serialize_focus_state(const FocusState& state) {
    json::Out root = json::Out::object();
    root["since"] = state.since;
    root["power_prev"] = state.power_prev ? json::Out(*state.power_prev) : json::Out(nullptr);
    json::Out slowed = json::Out::array();
    for (const Slowed& s : state.slowed) {
        json::Out o = json::Out::object();
        o["pid"] = s.pid;
        o["created"] = s.created;
        o["name"] = s.name;
        o["priority"] = s.priority;
        slowed.push_back(std::move(o));
    }
    root["slowed"] = std::move(slowed);
    return json::dump_pretty(root);
}

Result<FocusState> parse_focus_state(std::string_view text) {
    return json::parse_document<FocusState>(text, [](const json::Value& root) {
        json::expect_object(root, "focus state");
        FocusState state;
        state.since = json::req_u64(root, "since");
        const json::Value& prev = json::require(root, "power_prev");
        if (!prev.is_null()) state.power_prev = json::get_string(prev, "power_prev");
        for (const json::Value& item :
             json::expect_array(json::require(root, "slowed"), "slowed")) {
            json::expect_object(item, "slowed");
            Slowed s;
            s.pid = json::req_u32(item, "pid");
            s.created = json::req_u64(item, "created");
            s.name = json::req_string(item, "name");
            s.priority = json::req_u32(item, "priority");
            state.slowed.push_back(std::move(s));
        }
        return state;
    });
}

std::string guid_text(const Guid& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08lx%04x%04x%02x%02x%02x%02x%02x%02x%02x%02x",
                  static_cast<unsigned long>(g.data1), g.data2, g.data3, g.data4[0], g.data4[1],
                  g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return buf;
}

std::optional<Guid> parse_guid_text(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    // The value as 16 bytes, most significant first; shifted in one digit at a time.
    std::array<std::uint8_t, 16> bytes{};
    for (char c : text) {
        const int digit = hex_value(c);
        if (digit < 0) return std::nullopt;
        if (bytes[0] >> 4) return std::nullopt;  // another digit would pass 128 bits
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const std::uint8_t next = i + 1 < bytes.size() ? bytes[i + 1] >> 4 : 0;
            bytes[i] = static_cast<std::uint8_t>((bytes[i] << 4) | next);
        }
        bytes[15] = static_cast<std::uint8_t>(bytes[15] | digit);
    }
    Guid g;
    g.data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
              (std::uint32_t{bytes[2]} << 8) | bytes[3];
    g.data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
    g.data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
    std::copy(bytes.begin() + 8, bytes.end(), g.data4.begin());
    return g;
}

std::span<const std::string_view> never_slow_names() {
    return kNeverSlow;
}

bool is_never_slow(std::string_view image_name) {
    const std::string n = to_lower_ascii(image_name);
    return std::find(std::begin(kNeverSlow), std::end(kNeverSlow), n) != std::end(kNeverSlow);
}

bool window_on_screen(const TopWindow& w) {
    return w.visible && !w.minimised && w.title_length > 0 && w.cloaked == 0;
}

Protection build_protection(const std::vector<ProcessInfo>& snapshot,
                            const std::vector<std::uint32_t>& on_screen) {
    Protection p;
    p.pids.insert(on_screen.begin(), on_screen.end());
    for (const ProcessInfo& proc : snapshot)
        if (p.pids.count(proc.pid)) p.names.insert(to_lower_ascii(proc.name));
    // Descendants, however deep: walk down from every protected pid. Each pid is
    // entered once, so a cycle of reused parent ids ends too.
    std::unordered_multimap<std::uint32_t, std::uint32_t> children;
    for (const ProcessInfo& proc : snapshot)
        if (proc.parent_pid != 0) children.emplace(proc.parent_pid, proc.pid);
    std::vector<std::uint32_t> todo(p.pids.begin(), p.pids.end());
    while (!todo.empty()) {
        const std::uint32_t parent = todo.back();
        todo.pop_back();
        const auto [first, last] = children.equal_range(parent);
        for (auto it = first; it != last; ++it)
            if (p.pids.insert(it->second).second) todo.push_back(it->second);
    }
    return p;
}

bool is_shielded(const Protection& protection, const ProcessInfo& process) {
    return protection.pids.count(process.pid) > 0 ||
           protection.names.count(to_lower_ascii(process.name)) > 0;
}

std::vector<ProcessInfo> busy_background_candidates(const std::vector<ProcessInfo>& snapshot,
                                                    const std::vector<std::uint32_t>& on_screen,
                                                    std::uint32_t own_pid,
                                                    const std::vector<Slowed>& slowed) {
    const Protection protection = build_protection(snapshot, on_screen);
    std::vector<ProcessInfo> out;
    for (const ProcessInfo& p : snapshot) {
        if (p.pid <= 4 || p.pid == own_pid) continue;
        if (is_shielded(protection, p)) continue;
        if (is_protected_process(p.name) || is_never_slow(p.name)) continue;
        if (!is_busy(p.cpu_percent, kFocusBusyPercent)) continue;
        if (std::any_of(slowed.begin(), slowed.end(),
                        [&](const Slowed& s) { return same_process(s, p); }))
            continue;
        out.push_back(p);
    }
    return out;
}

std::string focus_summary(std::size_t slowed, bool power_switched) {
    std::string text = slowed == 0 ? std::string("no busy background programs right now")
                       : slowed == 1
                           ? std::string("1 background program in efficiency mode")
                           : with_count("%llu background programs in efficiency mode", slowed);
    if (power_switched) text += " \xC2\xB7 power mode: Best performance";
    return text;
}

std::string focus_summary(const FocusState& state) {
    return focus_summary(state.slowed.size(), state.power_prev.has_value());
}

std::string focus_page_on_text(const FocusState& state) {
    return "\xE2\x9C\x94 Focus mode is on: " + focus_summary(state) + ".";
}

std::string focus_page_off_text(std::uint64_t put_back) {
    if (put_back == 0) return "Focus mode is off.";
    if (put_back == 1) return "Focus mode is off: 1 program is back to full speed.";
    return with_count("Focus mode is off: %llu programs are back to full speed.", put_back);
}

std::string focus_tray_on_text(const FocusState& state) {
    return "Focus mode is on: " + focus_summary(state) + ".";
}

std::string focus_tray_off_text(std::uint64_t put_back) {
    return with_count("Focus mode is off. %llu program(s) are back to full speed.", put_back);
}

std::uint64_t boot_time(std::uint64_t now_unix, std::uint64_t uptime_ms) {
    const std::uint64_t up = uptime_ms / 1000;
    return now_unix > up ? now_unix - up : 0;
}

bool focus_is_on(const FocusSystem& sys) {
    return sys.state_exists();
}

std::optional<FocusState> focus_load_state(const FocusSystem& sys) {
    return load_state(sys);
}

FocusState focus_enter(const FocusSystem& sys) {
    FocusState state;
    sys.locked([&] {
        if (auto current = load_state(sys)) {
            state = std::move(*current);
            return;
        }
        state.since = sys.now();
        const auto processes = sys.sample();
        slow_candidates(sys, state,
                        busy_background_candidates(processes, sys.on_screen(), sys.own_pid, {}));
        if (sys.dry_run) {
            if (sys.power.available()) state.power_prev = std::string(32, '0');
        } else if (sys.power.available()) {
            const auto before = sys.power.active();
            if (before && *before != kBestPerformanceOverlay &&
                sys.power.set_active(kBestPerformanceOverlay))
                state.power_prev = guid_text(*before);
        }
        write_state(sys, state);
    });
    return state;
}

std::uint64_t focus_leave(const FocusSystem& sys) {
    std::uint64_t count = 0;
    sys.locked([&] {
        if (!sys.state_exists()) return;
        const auto state = load_state(sys);
        if (state && sys.dry_run) {
            count = state->slowed.size();
        } else if (state) {
            for (const Slowed& s : state->slowed)
                if (sys.put_back(s)) ++count;
            restore_power(sys, state->power_prev);
        }
        sys.delete_state();
    });
    return count;
}

void focus_refresh(const FocusSystem& sys) {
    if (sys.dry_run) return;
    sys.locked([&] {
        auto state = load_state(sys);
        if (!state) return;
        const auto processes = sys.sample();
        // A snapshot that failed lists nothing: taking that for "every program exited"
        // would drop records of programs still slowed.
        if (processes.empty()) return;
        const auto on_screen = sys.on_screen();
        const Protection protection = build_protection(processes, on_screen);
        std::vector<Slowed> kept;
        for (Slowed& s : state->slowed) {
            const auto it = std::find_if(processes.begin(), processes.end(),
                                         [&](const ProcessInfo& p) { return same_process(s, p); });
            if (it == processes.end()) continue;  // exited
            // One that cannot be put back now stays recorded, to be tried again.
            if (is_shielded(protection, *it) && sys.put_back(s)) continue;
            kept.push_back(std::move(s));
        }
        state->slowed = std::move(kept);
        slow_candidates(
            sys, *state,
            busy_background_candidates(processes, on_screen, sys.own_pid, state->slowed));
        write_state(sys, *state);
    });
}

void focus_clear_stale(const FocusSystem& sys) {
    sys.locked([&] {
        const auto state = load_state(sys);
        if (!state) return;
        if (state->since >= boot_time(sys.now(), sys.uptime_ms())) return;
        if (!sys.dry_run) restore_power(sys, state->power_prev);
        sys.delete_state();
    });
}

std::string focus_page_toggle(const FocusSystem& sys) {
    std::string text;
    sys.locked([&] {
        text = focus_is_on(sys) ? focus_page_off_text(focus_leave(sys))
                                : focus_page_on_text(focus_enter(sys));
    });
    return text;
}

std::string focus_tray_toggle(const FocusSystem& sys) {
    std::string text;
    sys.locked([&] {
        text = focus_is_on(sys) ? focus_tray_off_text(focus_leave(sys))
                                : focus_tray_on_text(focus_enter(sys));
    });
    return text;
}

}  // namespace tess
