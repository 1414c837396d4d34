#include "tool/variable_list.h"

#include <limits>
#include <stdexcept>

#include "tool/json_number.h"

namespace vk::tool {
namespace {

constexpr std::uint64_t kMaxUnsigned32 = std::numeric_limits<std::uint32_t>::max();
// Copies, comparisons and texts of a JSON value recurse once per level of
// nesting; a list nested deeper is refused while it is parsed, long before
// they could exhaust a stack of 1 MiB.
constexpr int kMaxNesting = 256;

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// std::stoul with base 0 as it behaves where unsigned long has 32 bits: the
// magnitude must fit 32 bits, and a minus sign negates it modulo 2^32.
std::uint32_t stoul32(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && isCSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '0') {
        base = 8;
        if (i + 2 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
            digitValue(text[i + 2]) < 16) {
            base = 16;
            i += 2;
        }
    }
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && digitValue(text[i]) < base; ++i, ++digits) {
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digitValue(text[i]));
        if (value > kMaxUnsigned32) throw std::out_of_range("stoul");
    }
    if (digits == 0) throw std::invalid_argument("stoul");
    const auto magnitude = static_cast<std::uint32_t>(value);
    return negative ? static_cast<std::uint32_t>(0u - magnitude) : magnitude;
}

std::vector<DaqEvent> readEvents(const Json& xcp) {
    std::vector<DaqEvent> events;
    // Iterating a JSON value gives an array's elements, an object's values,
    // nothing for null and the value itself for anything else.
    for (const Json& element : xcp.value("events", Json::array())) {
        DaqEvent event;
        event.name = element.at("name").get<std::string>();
        // The element is an object here: at() refuses anything else.
        const auto cycle = element.find("cycleMs");
        if (cycle != element.end())
            event.cycleMs =
                jsonInteger<std::uint32_t>(*cycle, "cycleMs of event '" + event.name + "'", {0, kMaxCycleMs});
        events.push_back(std::move(event));
    }
    return events;
}

std::vector<VariableSpec> readVariables(const Json& root) {
    std::vector<VariableSpec> variables;
    for (const Json& element : root.at("variables")) {
        VariableSpec spec;
        spec.pattern = element.at("name").get<std::string>();
        spec.entry = element;
        variables.push_back(std::move(spec));
    }
    return variables;
}

}  // namespace

Json memberOrNull(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found == object.end() ? Json() : *found;
}

VariableList readVariableList(std::string_view text, const std::string& defaultModuleName) {
    VariableList list;
    const auto boundedNesting = [](int depth, Json::parse_event_t, Json&) {
        if (depth >= kMaxNesting)
            throw std::runtime_error("nested deeper than " + std::to_string(kMaxNesting) + " levels");
        return true;
    };
    list.root = Json::parse(text.begin(), text.end(), boundedNesting, /*allow_exceptions=*/true,
                            /*ignore_comments=*/true);
    list.moduleName = list.root.value("module", defaultModuleName);
    list.xcp = list.root.value("xcp", Json::object());
    list.defaults = list.root.value("defaults", Json::object());
    list.maxArrayElements = jsonIntegerOr(list.defaults, "maxArrayElements", std::uint64_t{64});
    list.events = readEvents(list.xcp);
    list.defaultEvent = eventIndexFromJson(memberOrNull(list.defaults, "event"), list.events, 0);
    list.variables = readVariables(list.root);
    return list;
}

std::uint16_t eventIndexFromJson(const Json& value, const std::vector<DaqEvent>& events,
                                 std::uint16_t fallback) {
    if (value.is_number_unsigned()) return static_cast<std::uint16_t>(value.get<std::uint64_t>());
    if (value.is_number_integer()) {
        const auto number = value.get<std::int64_t>();
        return number >= 0 ? static_cast<std::uint16_t>(number) : fallback;
    }
    if (value.is_string()) {
        const auto& name = value.get_ref<const std::string&>();
        for (std::size_t i = 0; i < events.size(); ++i) {
            if (events[i].name == name) return static_cast<std::uint16_t>(i);
        }
        throw std::runtime_error("unknown event '" + name + "'");
    }
    return fallback;
}

std::uint32_t jsonToUnsigned(const Json& value, const std::string& what) {
    if (value.is_string()) return stoul32(value.get_ref<const std::string&>());
    return jsonInteger<std::uint32_t>(value, what);
}

}  // namespace vk::tool
