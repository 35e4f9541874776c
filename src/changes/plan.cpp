#include "changes/plan.hpp"

#include <utility>

#include "core/account.hpp"
#include "core/overloaded.hpp"
#include "core/paths.hpp"
#include "core/text.hpp"

namespace tess {

json::Out write_op(const Op& op) {
    json::Out o = json::Out::object();
    std::visit(overloaded{
                   [&](const ApplyOp& a) {
                       o["op"] = "apply";
                       o["action"] = write_action(a.action);
                   },
                   [&](const UndoOp& u) {
                       o["op"] = "undo";
                       o["id"] = u.id;
                   },
               },
               op);
    return o;
}

Op read_op(const json::Value& v) {
    json::expect_object(v, "op");
    const std::string kind = json::req_string(v, "op");
    if (kind == "apply") return ApplyOp{read_action(json::require(v, "action"))};
    if (kind == "undo") return UndoOp{json::req_u64(v, "id")};
    throw json::JsonInvalid("op: unknown");
}

Result<std::string> serialize_plan(const Plan& plan) {
    json::Out root = json::Out::object();
    root["journal"] = plan.journal;
    json::Out ops = json::Out::array();
    for (const auto& op : plan.ops)
        ops.push_back(write_op(op));
    root["ops"] = std::move(ops);
    if (!plan.run.empty()) root["run"] = plan.run;
    root["sid"] = plan.sid;
    try {
        return root.dump(-1, ' ', /*ensure_ascii=*/false, nlohmann::json::error_handler_t::strict);
    } catch (const nlohmann::json::exception& e) {
        return Error{e.what()};
    }
}

Result<Plan> parse_plan(std::string_view text) {
    return json::parse_document<Plan>(text, [](const json::Value& root) {
        json::expect_object(root, "plan");
        Plan plan;
        plan.journal = json::req_string(root, "journal");
        for (const auto& op : json::expect_array(json::require(root, "ops"), "ops"))
            plan.ops.push_back(read_op(op));
        plan.run = json::opt_string(root, "run");
        plan.sid = json::req_string(root, "sid");
        return plan;
    });
}

std::string encode_hex(std::string_view bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

std::optional<std::string> decode_hex(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = hex_value(hex[i]), lo = hex_value(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>((hi << 4) | lo);
    }
    return out;
}

namespace {

bool has_nul(std::string_view text) {
    return text.find('\0') != std::string_view::npos;
}

// A "\u0000" inside a text parses fine but cuts the text short at the Win32 call, so the
// helper would act on another value, service or file than the one named.
bool holds_nul(const Plan& plan) {
    if (has_nul(plan.journal) || has_nul(plan.run)) return true;
    for (const auto& op : plan.ops) {
        const auto* apply = std::get_if<ApplyOp>(&op);
        if (!apply) continue;
        const bool bad = std::visit(
            overloaded{
                [](const KillProcesses& a) {
                    if (has_nul(a.label)) return true;
                    for (const auto& t : a.targets)
                        if (has_nul(t.name)) return true;
                    return false;
                },
                [](const SetServiceStart& a) { return has_nul(a.name) || has_nul(a.display); },
                [](const SetStartupEnabled& a) { return has_nul(a.value_name); },
                [](const CleanJunk& a) { return has_nul(a.id) || has_nul(a.label); },
                [](const DeleteDevFolder& a) { return has_nul(a.path) || has_nul(a.label); },
            },
            apply->action);
        if (bad) return true;
    }
    return false;
}

}  // namespace

PlanArgument read_plan_text(std::string_view text) {
    auto plan = parse_plan(text);
    if (!plan || !is_absolute_path(plan->journal) || !is_sid_text(plan->sid) || holds_nul(*plan))
        return {kHelperBadPlan, {}};
    return {kHelperDone, std::move(*plan)};
}

std::string plan_folder(std::string_view journal) {
    return join_path(parent_path(journal), kPlanFolderName);
}

std::string plan_data_folder(const Plan& plan) {
    return std::string(parent_path(plan.journal));
}

std::string helper_parameters(std::string_view file, std::string_view sha256) {
    // A folder path never ends in a backslash here nor holds a quote, so plain quotes
    // split back into exactly this argument.
    return "apply-plan \"" + std::string(file) + "\" " + std::string(sha256);
}

int check_plan_arguments(std::string_view file, std::string_view sha256) {
    if (file.empty()) return kHelperBadPlan;
    const auto digest = decode_hex(sha256);
    if (!digest || digest->size() != 32) return kHelperBadHex;
    if (!is_below_root(file) || has_nul(file)) return kHelperBadPlan;
    return kHelperDone;
}

PlanArgument read_plan_file(std::string_view file, std::string_view sha256,
                            const std::optional<std::string>& bytes,
                            std::string_view actual_sha256) {
    if (const int code = check_plan_arguments(file, sha256); code != kHelperDone) return {code, {}};
    if (!bytes) return {kHelperBadPlan, {}};
    if (to_lower_ascii(sha256) != to_lower_ascii(actual_sha256)) return {kHelperBadPlan, {}};
    PlanArgument argument = read_plan_text(*bytes);
    if (argument.exit_code != kHelperDone) return argument;
    if (!same_path(parent_path(file), plan_folder(argument.plan.journal)))
        return {kHelperBadPlan, {}};
    return argument;
}

std::string helper_beside(std::string_view running_exe) {
    return join_path(parent_path(running_exe), kHelperExeName);
}

std::string helper_start_failed_text(std::uint32_t code) {
    return "could not start the admin helper (Windows error " + std::to_string(code) + ")";
}

}  // namespace tess
