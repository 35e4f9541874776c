#include "model/actions.hpp"

#include <utility>

#include "core/overloaded.hpp"
#include "sys/services.hpp"

namespace tess {

namespace {

using json::invalid;

std::string kind_of(const json::Value& object, std::string_view what) {
    json::expect_object(object, what);
    return json::req_string(object, "kind");
}

}  // namespace

std::string_view action_kind(const Action& action) {
    return std::visit(
        overloaded{
            [](const KillProcesses&) { return std::string_view("kill_processes"); },
            [](const SetServiceStart&) { return std::string_view("set_service_start"); },
            [](const SetStartupEnabled&) { return std::string_view("set_startup_enabled"); },
            [](const CleanJunk&) { return std::string_view("clean_junk"); },
            [](const DeleteDevFolder&) { return std::string_view("delete_dev_folder"); },
        },
        action);
}

std::string_view previous_kind(const Previous& previous) {
    return std::visit(
        overloaded{
            [](const Nothing&) { return std::string_view("nothing"); },
            [](const ServiceStart&) { return std::string_view("service_start"); },
            [](const StartupApproved&) { return std::string_view("startup_approved"); },
        },
        previous);
}

// ---- writing -----------------------------------------------------------------------

json::Out write_proc_target(const ProcTarget& target) {
    json::Out o = json::Out::object();
    o["pid"] = target.pid;
    o["name"] = target.name;
    o["created"] = target.created;
    return o;
}

json::Out write_action(const Action& action) {
    json::Out o = json::Out::object();
    o["kind"] = action_kind(action);
    std::visit(overloaded{
                   [&](const KillProcesses& a) {
                       o["label"] = a.label;
                       json::Out targets = json::Out::array();
                       for (const auto& t : a.targets)
                           targets.push_back(write_proc_target(t));
                       o["targets"] = std::move(targets);
                   },
                   [&](const SetServiceStart& a) {
                       o["name"] = a.name;
                       o["display"] = a.display;
                       o["start"] = a.start;
                       o["stop"] = a.stop;
                   },
                   [&](const SetStartupEnabled& a) {
                       o["location"] = startup_location_text(a.location);
                       o["value_name"] = a.value_name;
                       o["enabled"] = a.enabled;
                   },
                   [&](const CleanJunk& a) {
                       o["id"] = a.id;
                       o["label"] = a.label;
                   },
                   [&](const DeleteDevFolder& a) {
                       o["path"] = a.path;
                       o["label"] = a.label;
                   },
               },
               action);
    return o;
}

json::Out write_previous(const Previous& previous) {
    json::Out o = json::Out::object();
    o["kind"] = previous_kind(previous);
    std::visit(overloaded{
                   [&](const Nothing&) {},
                   [&](const ServiceStart& p) { o["start"] = p.start; },
                   [&](const StartupApproved& p) {
                       if (!p.bytes) {
                           o["bytes"] = nullptr;
                           return;
                       }
                       json::Out bytes = json::Out::array();
                       for (std::uint8_t b : *p.bytes)
                           bytes.push_back(b);
                       o["bytes"] = std::move(bytes);
                   },
               },
               previous);
    return o;
}

// ---- reading -----------------------------------------------------------------------

ProcTarget read_proc_target(const json::Value& v) {
    json::expect_object(v, "target");
    ProcTarget t;
    t.pid = json::req_u32(v, "pid");
    t.name = json::req_string(v, "name");
    t.created = json::req_u64(v, "created");
    return t;
}

Action read_action(const json::Value& v) {
    const std::string kind = kind_of(v, "action");
    auto text = [&](std::string_view key) { return json::req_string(v, key); };
    if (kind == "kill_processes") {
        KillProcesses a;
        a.label = text("label");
        for (const auto& t : json::expect_array(json::require(v, "targets"), "targets"))
            a.targets.push_back(read_proc_target(t));
        return a;
    }
    if (kind == "set_service_start") {
        SetServiceStart a;
        a.name = text("name");
        a.display = text("display");
        a.start = json::req_u32(v, "start");
        a.stop = json::req_bool(v, "stop");
        return a;
    }
    if (kind == "set_startup_enabled") {
        SetStartupEnabled a;
        const auto location = startup_location_from_text(text("location"));
        if (!location) invalid("location", "unknown");
        a.location = *location;
        a.value_name = text("value_name");
        a.enabled = json::req_bool(v, "enabled");
        return a;
    }
    if (kind == "clean_junk") {
        CleanJunk a;
        a.id = text("id");
        a.label = text("label");
        return a;
    }
    if (kind == "delete_dev_folder") {
        DeleteDevFolder a;
        a.path = text("path");
        a.label = text("label");
        return a;
    }
    invalid("action kind", "unknown");
}

Previous read_previous(const json::Value& v) {
    const std::string kind = kind_of(v, "previous");
    if (kind == "nothing") return Nothing{};
    if (kind == "service_start") return ServiceStart{json::req_u32(v, "start")};
    if (kind == "startup_approved") {
        StartupApproved p;
        const json::Value* bytes = json::find(v, "bytes");
        if (bytes && !bytes->is_null()) {
            std::vector<std::uint8_t> out;
            for (const auto& b : json::expect_array(*bytes, "bytes")) {
                const std::uint64_t n = json::get_u64(b, "bytes");
                if (n > 0xFF) invalid("bytes", "out of range");
                out.push_back(static_cast<std::uint8_t>(n));
            }
            p.bytes = std::move(out);
        }
        return p;
    }
    invalid("previous kind", "unknown");
}

// ---- descriptions --------------------------------------------------------------------

std::string describe(const Action& action) {
    return std::visit(overloaded{
                          [](const KillProcesses& a) {
                              const std::size_t n = a.targets.size();
                              return "End " + a.label + " (" + std::to_string(n) + " process" +
                                     (n == 1 ? "" : "es") + ")";
                          },
                          [](const SetServiceStart& a) {
                              return "Set service \"" + a.display + "\" to " +
                                     std::string(start_type_word(a.start)) +
                                     (a.stop ? " and stop it" : "");
                          },
                          [](const SetStartupEnabled& a) {
                              return std::string(a.enabled ? "Enable" : "Disable") + " \"" +
                                     a.value_name + "\" at startup";
                          },
                          [](const CleanJunk& a) { return "Clean " + a.label; },
                          [](const DeleteDevFolder& a) { return "Delete " + a.label; },
                      },
                      action);
}

}  // namespace tess
