#include "core/settings.hpp"

#include "core/json.hpp"

namespace tess {

Result<Settings> parse_settings(std::string_view text) {
    return json::parse_document<Settings>(text, [](const json::Value& root) {
        json::expect_object(root, "settings");
        Settings s;
        s.skip_version = json::opt_nullable_string(root, "skip_version");
        if (const json::Value* a = json::find(root, "autopilot")) {
            json::expect_object(*a, "autopilot");
            Schedule& d = s.autopilot;
            d.enabled = json::opt_bool(*a, "enabled", d.enabled);
            d.every_days = json::opt_u32(*a, "every_days", d.every_days);
            d.last_run = json::opt_u64(*a, "last_run", d.last_run);
            d.last_result = json::opt_string(*a, "last_result", d.last_result);
            d.close_dev_servers = json::opt_bool(*a, "close_dev_servers", d.close_dev_servers);
        }
        if (const json::Value* k = json::find(root, "keep_running")) {
            for (const auto& item : json::expect_array(*k, "keep_running"))
                s.keep_running.push_back(json::get_string(item, "keep_running"));
        }
        return s;
    });
}

std::string serialize_settings(const Settings& s) {
    json::Out root = json::Out::object();
    root["skip_version"] = s.skip_version ? json::Out(*s.skip_version) : json::Out(nullptr);
    json::Out a = json::Out::object();
    a["enabled"] = s.autopilot.enabled;
    a["every_days"] = s.autopilot.every_days;
    a["last_run"] = s.autopilot.last_run;
    a["last_result"] = s.autopilot.last_result;
    a["close_dev_servers"] = s.autopilot.close_dev_servers;
    root["autopilot"] = std::move(a);
    json::Out keep = json::Out::array();
    for (const auto& k : s.keep_running)
        keep.push_back(k);
    root["keep_running"] = std::move(keep);
    return json::dump_pretty(root);
}

}  // namespace tess
