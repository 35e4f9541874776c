// Strict JSON on top of nlohmann-json. Every data file and the admin helper's plan
// are untrusted: a duplicated key, a wrong type, a number out of the field's range,
// a negative number for an unsigned field or text after the value makes the whole
// document invalid. Unknown keys are ignored.
//
// Readers call the get_* helpers, which throw JsonInvalid; parse_document turns
// that into a Result, so no half-read record escapes.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "core/result.hpp"

namespace tess::json {

using Value = nlohmann::json;
// Written documents keep their keys in insertion order.
using Out = nlohmann::ordered_json;

struct JsonInvalid : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws JsonInvalid("{what}: {why}").
[[noreturn]] void invalid(std::string_view what, std::string_view why);

// Parses the whole text; leading and trailing white space is allowed.
Result<Value> parse_strict(std::string_view text);

// Parses, then converts with `read` (which may throw JsonInvalid); any failure is an Error.
template <class T, class F>
Result<T> parse_document(std::string_view text, F&& read) {
    auto doc = parse_strict(text);
    if (!doc) return Error{doc.error()};
    try {
        return read(*doc);
    } catch (const JsonInvalid& e) {
        return Error{e.what()};
    } catch (const nlohmann::json::exception& e) {
        return Error{e.what()};
    }
}

// Type-checked reads of one value.
const Value& expect_object(const Value& v, std::string_view what);
const Value& expect_array(const Value& v, std::string_view what);
bool get_bool(const Value& v, std::string_view what);
std::string get_string(const Value& v, std::string_view what);
std::uint64_t get_u64(const Value& v, std::string_view what);
std::uint32_t get_u32(const Value& v, std::string_view what);
std::uint16_t get_u16(const Value& v, std::string_view what);
std::int64_t get_i64(const Value& v, std::string_view what);
double get_number(const Value& v, std::string_view what);

// Key lookup in an object (which must be an object): nullptr when absent.
const Value* find(const Value& object, std::string_view key);
// Present or throw.
const Value& require(const Value& object, std::string_view key);

// Required keys of a given type.
bool req_bool(const Value& object, std::string_view key);
std::string req_string(const Value& object, std::string_view key);
std::uint64_t req_u64(const Value& object, std::string_view key);
std::uint32_t req_u32(const Value& object, std::string_view key);

// Optional keys with a default.
bool opt_bool(const Value& object, std::string_view key, bool fallback);
std::string opt_string(const Value& object, std::string_view key, std::string fallback = {});
std::uint64_t opt_u64(const Value& object, std::string_view key, std::uint64_t fallback);
std::uint32_t opt_u32(const Value& object, std::string_view key, std::uint32_t fallback);
// null or absent -> nullopt.
std::optional<std::string> opt_nullable_string(const Value& object, std::string_view key);

// Byte-exact writing: two-space pretty form ("key": value, ",\n", [] for empty
// arrays) or compact. Invalid UTF-8 in strings is written as U+FFFD.
std::string dump_pretty(const Out& v);
std::string dump_compact(const Out& v);

}  // namespace tess::json
