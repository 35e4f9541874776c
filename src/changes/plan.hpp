// The admin helper's plan: the journal to append to and the operations to carry out.
// It travels as compact JSON in a file of its own; a second copy of the program started
// with "runas" gets the file's path and SHA-256 on its command line (Windows' shell
// refuses a command line beyond about 2,048 characters, far less than a plan needs).
// Both arrive in an elevated process, so the helper's side trusts nothing in them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/json.hpp"
#include "core/result.hpp"
#include "model/actions.hpp"

namespace tess {

// One operation of the executor: apply an action, or undo the journal entry `id`.
struct ApplyOp {
    Action action;

    bool operator==(const ApplyOp&) const = default;
};

struct UndoOp {
    std::uint64_t id = 0;

    bool operator==(const UndoOp&) const = default;
};

using Op = std::variant<ApplyOp, UndoOp>;

struct Plan {
    std::string journal;  // full path of the journal file the helper appends to
    std::vector<Op> ops;
    std::string run;  // stamped on the helper's entries, so the caller finds them
    // The account of the user the plan is for, "S-1-5-21-...": an administrator's
    // credentials may start the helper as another account, whose HKCU, profile and
    // data folder are not this user's.
    std::string sid;

    bool operator==(const Plan&) const = default;
};

// {"op":"apply","action":{...}} / {"op":"undo","id":N}
json::Out write_op(const Op& op);
// Strict: an unknown `op` or action `kind`, a missing key or a wrong type throws
// json::JsonInvalid; unknown keys are ignored.
Op read_op(const json::Value& v);

// Compact JSON, keys in their fixed order. Fails with the JSON library's message when a
// text is not valid UTF-8: writing it replaced would send the helper to another
// journal, service or folder than the one meant.
Result<std::string> serialize_plan(const Plan& plan);
// A syntax error, a missing `journal`, `ops` or `sid`, a wrong type, an unknown `op` or
// `kind`, or anything but white space after the object is an error.
Result<Plan> parse_plan(std::string_view text);

// Lower-case hexadecimal, two digits per byte: how a SHA-256 is written.
std::string encode_hex(std::string_view bytes);
// Either case accepted; nullopt for an odd length or a non-hex character.
std::optional<std::string> decode_hex(std::string_view hex);

// The helper's exit codes.
inline constexpr int kHelperDone = 0;
inline constexpr int kHelperDeferred = 2;  // the executor handed something back
inline constexpr int kHelperBadHex = 3;    // the SHA-256 argument is not 64 hex digits
inline constexpr int kHelperBadPlan = 4;   // no plan, a wrong hash or a file out of place
inline constexpr int kHelperUnsaved = 5;   // a change could not be saved to the journal

struct PlanArgument {
    int exit_code = kHelperBadPlan;  // kHelperDone when `plan` is usable
    Plan plan;
};
// The plan's own checks: 4 for a bad plan. A journal path that is not absolute is a bad
// plan too: the helper runs elevated, and a relative path would put the file wherever
// its working folder is (System32). So is a `sid` that is not a SID, since the helper
// could not tell whose profile it may touch.
PlanArgument read_plan_text(std::string_view text);

// Plan files live in a folder of their own beside the journal (inside the data folder),
// which only the user and administrators may write to.
inline constexpr std::string_view kPlanFolderName = "plans";
std::string plan_folder(std::string_view journal);
// The user's data folder, which the journal is in: the helper's log goes there.
std::string plan_data_folder(const Plan& plan);

// `apply-plan "{file}" {sha256}`
std::string helper_parameters(std::string_view file, std::string_view sha256);

// What the arguments alone decide, before the file is opened: 4 for no file, 3 for a
// hash that is not 64 hex digits, 4 for a file that is not an absolute path free of "."
// and ".."; kHelperDone otherwise.
int check_plan_arguments(std::string_view file, std::string_view sha256);

// The helper's verdict on the file it read: `bytes` nullopt when it could not be read,
// `actual_sha256` its digest. A missing file, a digest other than `sha256` (either case),
// a bad plan, or a file that is not directly in the plan folder of the plan's own
// journal is 4.
PlanArgument read_plan_file(std::string_view file, std::string_view sha256,
                            const std::optional<std::string>& bytes,
                            std::string_view actual_sha256);

// The helper is "Tessavo.exe" beside the running executable when its metadata can be
// read there (the setup copy, run from a download named otherwise, hands over to the
// installed program); else the running executable itself.
inline constexpr std::string_view kHelperExeName = "Tessavo.exe";
std::string helper_beside(std::string_view running_exe);

enum class ElevationKind : std::uint8_t { Finished = 0, Cancelled = 1, Failed = 2 };

struct ElevationResult {
    ElevationKind kind = ElevationKind::Failed;
    std::uint32_t exit_code = 0;  // Finished
    std::string message;          // Failed

    bool operator==(const ElevationResult&) const = default;
};

// "could not start the admin helper (Windows error {})"
std::string helper_start_failed_text(std::uint32_t code);
inline constexpr std::string_view kHelperNoProcess = "admin helper did not start";

}  // namespace tess
