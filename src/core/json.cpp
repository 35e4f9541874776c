#include "core/json.hpp"

#include <limits>
#include <set>
#include <vector>

namespace tess::json {

void invalid(std::string_view what, std::string_view why) {
    throw JsonInvalid(std::string(what) + ": " + std::string(why));
}

Result<Value> parse_strict(std::string_view text) {
    // nlohmann's lexer takes a NUL byte for the end of input, so "[]\0junk" would pass.
    // A raw NUL is never valid JSON (inside strings control characters must be escaped).
    if (text.find('\0') != std::string_view::npos) return Error{"NUL byte in text"};
    // nlohmann keeps the last of two equal keys; a parser callback sees each key
    // as it arrives, so duplicates are caught per object.
    std::vector<std::set<std::string>> keys;
    bool duplicate = false;
    auto callback = [&](int /*depth*/, Value::parse_event_t event, Value& parsed) {
        switch (event) {
            case Value::parse_event_t::object_start:
                keys.emplace_back();
                break;
            case Value::parse_event_t::object_end:
                if (!keys.empty()) keys.pop_back();
                break;
            case Value::parse_event_t::key:
                if (!keys.empty() && !keys.back().insert(parsed.get<std::string>()).second)
                    duplicate = true;
                break;
            default:
                break;
        }
        return true;
    };
    try {
        Value v = Value::parse(text.begin(), text.end(), callback, /*allow_exceptions=*/true,
                               /*ignore_comments=*/false);
        if (duplicate) return Error{"duplicated key"};
        return v;
    } catch (const nlohmann::json::exception& e) {
        return Error{e.what()};
    }
}

const Value& expect_object(const Value& v, std::string_view what) {
    if (!v.is_object()) invalid(what, "not an object");
    return v;
}

const Value& expect_array(const Value& v, std::string_view what) {
    if (!v.is_array()) invalid(what, "not an array");
    return v;
}

bool get_bool(const Value& v, std::string_view what) {
    if (!v.is_boolean()) invalid(what, "not a bool");
    return v.get<bool>();
}

std::string get_string(const Value& v, std::string_view what) {
    if (!v.is_string()) invalid(what, "not a string");
    return v.get<std::string>();
}

std::uint64_t get_u64(const Value& v, std::string_view what) {
    // Integers beyond 64 bits parse as floating point: out of range, not a wrong type
    // for the user, but invalid either way.
    if (v.is_number_unsigned()) return v.get<std::uint64_t>();
    if (v.is_number_integer()) invalid(what, "negative");
    if (v.is_number_float()) invalid(what, "not an unsigned integer");
    invalid(what, "not a number");
}

std::uint32_t get_u32(const Value& v, std::string_view what) {
    const std::uint64_t n = get_u64(v, what);
    if (n > std::numeric_limits<std::uint32_t>::max()) invalid(what, "out of range");
    return static_cast<std::uint32_t>(n);
}

std::uint16_t get_u16(const Value& v, std::string_view what) {
    const std::uint64_t n = get_u64(v, what);
    if (n > std::numeric_limits<std::uint16_t>::max()) invalid(what, "out of range");
    return static_cast<std::uint16_t>(n);
}

std::int64_t get_i64(const Value& v, std::string_view what) {
    if (v.is_number_unsigned()) {
        const auto n = v.get<std::uint64_t>();
        if (n > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            invalid(what, "out of range");
        return static_cast<std::int64_t>(n);
    }
    if (v.is_number_integer()) return v.get<std::int64_t>();
    invalid(what, "not an integer");
}

double get_number(const Value& v, std::string_view what) {
    if (!v.is_number()) invalid(what, "not a number");
    return v.get<double>();
}

const Value* find(const Value& object, std::string_view key) {
    if (!object.is_object()) invalid(key, "parent is not an object");
    auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

const Value& require(const Value& object, std::string_view key) {
    const Value* v = find(object, key);
    if (!v) invalid(key, "missing");
    return *v;
}

bool req_bool(const Value& object, std::string_view key) {
    return get_bool(require(object, key), key);
}

std::string req_string(const Value& object, std::string_view key) {
    return get_string(require(object, key), key);
}

std::uint64_t req_u64(const Value& object, std::string_view key) {
    return get_u64(require(object, key), key);
}

std::uint32_t req_u32(const Value& object, std::string_view key) {
    return get_u32(require(object, key), key);
}

bool opt_bool(const Value& object, std::string_view key, bool fallback) {
    const Value* v = find(object, key);
    return v ? get_bool(*v, key) : fallback;
}

std::string opt_string(const Value& object, std::string_view key, std::string fallback) {
    const Value* v = find(object, key);
    return v ? get_string(*v, key) : std::move(fallback);
}

std::uint64_t opt_u64(const Value& object, std::string_view key, std::uint64_t fallback) {
    const Value* v = find(object, key);
    return v ? get_u64(*v, key) : fallback;
}

std::uint32_t opt_u32(const Value& object, std::string_view key, std::uint32_t fallback) {
    const Value* v = find(object, key);
    return v ? get_u32(*v, key) : fallback;
}

std::optional<std::string> opt_nullable_string(const Value& object, std::string_view key) {
    const Value* v = find(object, key);
    if (!v || v->is_null()) return std::nullopt;
    return get_string(*v, key);
}

std::string dump_pretty(const Out& v) {
    return v.dump(2, ' ', /*ensure_ascii=*/false, nlohmann::json::error_handler_t::replace);
}

std::string dump_compact(const Out& v) {
    return v.dump(-1, ' ', /*ensure_ascii=*/false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tess::json
