// The JSON variable list that drives generate mode: which variables become
// A2L objects and how, the DAQ events and the XCP transport. The root keys
// are read here up to the variable entries; per-entry and "xcp" keys are
// read later, when the selection and the text writer need them, so that the
// first wrong key in reading order is the one reported. Every reader throws
// (JSON library or std exceptions); vk::tool::generate turns them into errors.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace vk::tool {

using Json = nlohmann::json;

struct DaqEvent {
    std::string name;
    std::uint32_t cycleMs = 0;
};

// The longest cycle an event can declare: 255 in units of a second.
constexpr std::uint32_t kMaxCycleMs = 255999;

// One entry of "variables": its pattern and the whole entry object.
struct VariableSpec {
    std::string pattern;
    Json entry;
};

struct VariableList {
    Json root;
    std::string moduleName;  // as written; not yet an A2L identifier
    Json xcp;
    Json defaults;
    std::uint64_t maxArrayElements = 64;
    std::vector<DaqEvent> events;
    std::uint16_t defaultEvent = 0;
    std::vector<VariableSpec> variables;
};

// Parses the text (comments allowed) and reads the root keys, the events,
// the default event and the entries' names, in that order.
VariableList readVariableList(std::string_view text, const std::string& defaultModuleName);

// The event number of an event reference: a non-negative integer's low 16
// bits, a string's position in events (throws "unknown event 'NAME'" when
// none has that name), anything else the fallback.
std::uint16_t eventIndexFromJson(const Json& value, const std::vector<DaqEvent>& events,
                                 std::uint16_t fallback);

// A CAN identifier: a string read like std::stoul with base 0 in 32 bits
// (throws "stoul" without digits or beyond 4294967295), any other value by
// the JSON library's conversion; a floating-point number beyond 32 bits is
// refused as "WHAT VALUE is out of range 0 to 4294967295".
std::uint32_t jsonToUnsigned(const Json& value, const std::string& what = "CAN identifier");

// The member key of an object, or null when it has none.
Json memberOrNull(const Json& object, const char* key);

}  // namespace vk::tool
