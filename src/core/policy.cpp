#include "core/policy.hpp"

#include <algorithm>

#include "core/text.hpp"

namespace tess {

namespace {

const PolicyValue* find(const std::vector<PolicyValue>& values, std::string_view name) {
    for (const PolicyValue& v : values)
        if (to_lower_ascii(v.name) == to_lower_ascii(name)) return &v;
    return nullptr;
}

struct Reader {
    const std::vector<PolicyValue>& machine;
    const std::vector<PolicyValue>& user;
    std::vector<std::string>& log;

    // The first valid value of the machine's, then the user's; `valid` says whether a
    // DWORD is in range.
    template <class Valid>
    std::optional<std::uint32_t> dword(std::string_view name, Valid valid) {
        for (const auto* scope : {&machine, &user}) {
            const PolicyValue* v = find(*scope, name);
            if (!v) continue;
            const char* where = scope == &machine ? "machine" : "user";
            if (v->type != PolicyValue::Type::Dword)
                log.push_back("policy " + std::string(name) + " (" + where +
                              ") ignored: not a REG_DWORD value");
            else if (!valid(v->dword))
                log.push_back("policy " + std::string(name) + " (" + where +
                              ") ignored: " + std::to_string(v->dword) + " is out of range");
            else
                return v->dword;
        }
        return std::nullopt;
    }

    std::optional<bool> flag(std::string_view name) {
        const auto v = dword(name, [](std::uint32_t d) { return d <= 1; });
        if (!v) return std::nullopt;
        return *v == 1;
    }

    std::optional<std::vector<std::string>> names(std::string_view name) {
        for (const auto* scope : {&machine, &user}) {
            const PolicyValue* v = find(*scope, name);
            if (!v) continue;
            const char* where = scope == &machine ? "machine" : "user";
            if (v->type != PolicyValue::Type::MultiText && v->type != PolicyValue::Type::Text) {
                log.push_back("policy " + std::string(name) + " (" + where +
                              ") ignored: not a REG_MULTI_SZ value");
                continue;
            }
            std::vector<std::string> out;
            for (const std::string& t : v->texts)
                if (t.find_first_not_of(" \t") != std::string::npos) out.push_back(t);
            return out;
        }
        return std::nullopt;
    }
};

}  // namespace

Policy decide_policy(const std::vector<PolicyValue>& machine, const std::vector<PolicyValue>& user,
                     std::vector<std::string>& log) {
    Reader r{machine, user, log};
    Policy p;
    p.update_check_off =
        r.dword(kPolicyDisableUpdateCheck, [](std::uint32_t d) { return d == 1; }).has_value();
    p.autopilot = r.flag(kPolicyAutopilot);
    if (p.autopilot == true)
        p.autopilot_days =
            r.dword(kPolicyAutopilotDays, [](std::uint32_t d) { return d == 1 || d == 7; });
    p.close_dev_servers = r.flag(kPolicyCloseDevServers);
    p.tray_at_sign_in = r.flag(kPolicyTrayAtSignIn);
    p.focus_allowed = r.flag(kPolicyAllowFocus);
    p.keep_running = r.names(kPolicyKeepRunning);
    return p;
}

Settings settings_in_force(const Settings& user, const Policy& policy) {
    Settings s = user;
    if (policy.autopilot) s.autopilot.enabled = *policy.autopilot;
    if (policy.autopilot_days) s.autopilot.every_days = *policy.autopilot_days;
    if (policy.close_dev_servers) s.autopilot.close_dev_servers = *policy.close_dev_servers;
    if (policy.keep_running)
        for (const std::string& name : *policy.keep_running) {
            const auto same = [&](const std::string& k) {
                return to_lower_ascii(k) == to_lower_ascii(name);
            };
            if (std::none_of(s.keep_running.begin(), s.keep_running.end(), same))
                s.keep_running.push_back(name);
        }
    return s;
}

}  // namespace tess
