// Reading the JSON variable list: syntax, the list rule, defaults, the order
// in which keys are read (which decides the error reported), event
// references, CAN identifiers, and the refusal of values that do not fit,
// floating-point numbers beyond their integer type included.
#include "tool/variable_list.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "generate_test_support.h"
#include "tool/json_number.h"

namespace vk::tool {
namespace {

using testing::Firmware;
using testing::generateError;
using testing::generateOk;

const Firmware kNoVariables{};  // an ELF without globals: nothing to select

TEST(VariableListRead, DefaultsOfAnEmptyList) {
    const VariableList list = readVariableList(R"({"variables": []})", "fw");
    EXPECT_EQ(list.moduleName, "fw");
    EXPECT_EQ(list.maxArrayElements, 64u);
    EXPECT_TRUE(list.events.empty());
    EXPECT_EQ(list.defaultEvent, 0u);
    EXPECT_TRUE(list.variables.empty());
}

TEST(VariableListRead, CommentsByteOrderMarkAndTrailingText) {
    const VariableList list = readVariableList(
        "\xEF\xBB\xBF// list\n/* a */ {\"module\": \"m\", // x\n \"variables\": []} /* end */", "fw");
    EXPECT_EQ(list.moduleName, "m");
    EXPECT_EQ(
        generateError(kNoVariables, R"({"variables": []} {})"),
        "variable list: [json.exception.parse_error.101] parse error at line 1, column 19: syntax error "
        "while parsing value - unexpected '{'; expected end of input");
}

TEST(VariableListRead, ListRule) {
    // An object stands for its values in key order, null for nothing.
    const VariableList list =
        readVariableList(R"({"variables": {"b": {"name": "second"}, "a": {"name": "first"}}})", "fw");
    ASSERT_EQ(list.variables.size(), 2u);
    EXPECT_EQ(list.variables[0].pattern, "first");
    EXPECT_EQ(list.variables[1].pattern, "second");
    EXPECT_EQ(list.variables[0].entry, Json::parse(R"({"name": "first"})"));
    EXPECT_TRUE(readVariableList(R"({"variables": null})", "fw").variables.empty());
    EXPECT_EQ(generateError(kNoVariables, R"({"variables": 5})"),
              "variable list: [json.exception.type_error.304] cannot use at() with number");
    EXPECT_EQ(generateError(kNoVariables, R"({"variables": [{"name": "a"}, {}]})"),
              "variable list: [json.exception.out_of_range.403] key 'name' not found");
}

TEST(VariableListRead, FailuresOfTheRootKeys) {
    EXPECT_EQ(generateError(kNoVariables, "[]"),
              "variable list: [json.exception.type_error.306] cannot use value() with array");
    EXPECT_EQ(generateError(kNoVariables, "{}"),
              "variable list: [json.exception.out_of_range.403] key 'variables' not found");
    EXPECT_EQ(generateError(kNoVariables, R"({"module": 1, "variables": []})"),
              "variable list: [json.exception.type_error.302] type must be string, but is number");
    EXPECT_EQ(generateError(kNoVariables, R"({"xcp": null, "variables": []})"),
              "variable list: [json.exception.type_error.306] cannot use value() with null");
    EXPECT_EQ(generateError(kNoVariables, R"({"defaults": {"maxArrayElements": true}, "variables": []})"),
              "variable list: [json.exception.type_error.302] type must be number, but is boolean");
    EXPECT_EQ(generateError(kNoVariables, R"({"xcp": {"events": [{"name": 3}]}, "variables": []})"),
              "variable list: [json.exception.type_error.302] type must be string, but is number");
    EXPECT_EQ(generateError(kNoVariables, R"({"description": false, "variables": []})"),
              "variable list: [json.exception.type_error.302] type must be string, but is boolean");
}

// Copying a value recurses once per level: a million levels anywhere in the
// list once overflowed the stack. 256 levels in all are read, more refused.
TEST(VariableListRead, NestingDeeperThan256LevelsIsRefused) {
    auto nested = [](std::size_t levels) { return std::string(levels, '[') + std::string(levels, ']'); };
    const std::string refused = "variable list: nested deeper than 256 levels";
    const std::size_t deep = 1000000;
    EXPECT_EQ(generateError(kNoVariables, R"({"variables": [{"name": "x", "unit": )" + nested(deep) + "}]}"),
              refused);
    EXPECT_EQ(generateError(kNoVariables, R"({"xcp": )" + nested(deep) + R"(, "variables": []})"), refused);
    EXPECT_EQ(generateError(kNoVariables, R"({"defaults": {"x": )" + nested(deep) + R"(}, "variables": []})"),
              refused);
    // Root object, "variables", the entry, and the value's own levels.
    const std::string entry = R"({"variables": [{"name": "x", "unit": )";
    EXPECT_EQ(readVariableList(entry + nested(253) + "}]}", "fw").variables.size(), 1u);
    EXPECT_EQ(generateError(kNoVariables, entry + nested(254) + "}]}"), refused);
}

TEST(VariableListRead, ReadingOrderDecidesTheError) {
    // The default event is resolved before "variables" is looked at.
    EXPECT_EQ(generateError(kNoVariables, R"({"defaults": {"event": "fast"}})"),
              "variable list: unknown event 'fast'");
    // "xcp" keys are read only after the selection, so a missing
    // "variables" wins over a bad "maxCto".
    EXPECT_EQ(generateError(kNoVariables, R"({"xcp": {"maxCto": "x"}})"),
              "variable list: [json.exception.out_of_range.403] key 'variables' not found");
}

TEST(EventReference, NumbersStringsAndFallback) {
    const std::vector<DaqEvent> events{{"fast", 10}, {"slow", 100}, {"fast", 1}};
    EXPECT_EQ(eventIndexFromJson(Json(2), events, 9), 2u);
    EXPECT_EQ(eventIndexFromJson(Json(70000), events, 9), 4464u);  // low 16 bits, no range check
    EXPECT_EQ(eventIndexFromJson(Json("slow"), events, 9), 1u);
    EXPECT_EQ(eventIndexFromJson(Json("fast"), events, 9), 0u);  // the first of a name wins
    for (const char* other : {"-1", "1.5", "1e2", "true", "null", "{}", "[1]"}) {
        EXPECT_EQ(eventIndexFromJson(Json::parse(other), events, 9), 9u) << other;
    }
    try {
        eventIndexFromJson(Json("none"), {}, 0);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "unknown event 'none'");
    }
}

TEST(CanIdentifier, StringsAsStoulReadsThem) {
    EXPECT_EQ(jsonToUnsigned(Json("0x7F0")), 2032u);
    EXPECT_EQ(jsonToUnsigned(Json(2032)), 2032u);
    EXPECT_EQ(jsonToUnsigned(Json("12abc")), 12u);
    EXPECT_EQ(jsonToUnsigned(Json(" \t+017")), 15u);  // octal
    EXPECT_EQ(jsonToUnsigned(Json("0x")), 0u);        // the 0 alone is read
    EXPECT_EQ(jsonToUnsigned(Json("4294967295")), 4294967295u);
    EXPECT_EQ(jsonToUnsigned(Json("-1")), 4294967295u);
    EXPECT_EQ(jsonToUnsigned(Json(true)), 1u);
    EXPECT_EQ(jsonToUnsigned(Json(3.9)), 3u);
    for (const char* bad : {"4294967296", "0x100000000", "", "  ", "x12", "-"}) {
        try {
            jsonToUnsigned(Json(bad));
            ADD_FAILURE() << "no exception for '" << bad << "'";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "stoul") << bad;
        }
    }
    EXPECT_THROW(jsonToUnsigned(Json()), nlohmann::json::type_error);
}

TEST(CanIdentifier, FailuresInTheGenerator) {
    EXPECT_EQ(generateError(
                  kNoVariables,
                  R"({"xcp": {"transport": "can", "cmdId": "0x1FFFFFFFF", "resId": 1}, "variables": []})"),
              "variable list: stoul");
    EXPECT_EQ(generateError(kNoVariables, R"({"xcp": {"transport": "can", "cmdId": 1}, "variables": []})"),
              "variable list: [json.exception.out_of_range.403] key 'resId' not found");
    EXPECT_EQ(generateError(kNoVariables,
                            R"({"xcp": {"transport": "can", "cmdId": null, "resId": 1}, "variables": []})"),
              "variable list: [json.exception.type_error.302] type must be number, but is null");
}

TEST(XcpKeys, LibraryConversionsAndTypeErrors) {
    const std::string text =
        generateOk(kNoVariables, R"({"xcp": {"maxCto": 3.7, "maxDto": true}, "variables": []})").text;
    EXPECT_NE(text.find("        0x0101 1000 1000 1000 1000 1000 1000 200 0x03 0x0001\n"), std::string::npos);
    EXPECT_EQ(generateError(kNoVariables, R"({"xcp": {"maxCto": "8"}, "variables": []})"),
              "variable list: [json.exception.type_error.302] type must be number, but is string");
    EXPECT_EQ(generateError(kNoVariables, R"({"xcp": {"timeoutsMs": {}}, "variables": []})"),
              "variable list: [json.exception.type_error.302] type must be array, but is object");
    // maxOdtEntrySize is read only when there are events.
    generateOk(kNoVariables, R"({"xcp": {"maxOdtEntrySize": "x"}, "variables": []})");
    EXPECT_EQ(
        generateError(kNoVariables,
                      R"({"xcp": {"maxOdtEntrySize": "x", "events": [{"name": "e"}]}, "variables": []})"),
        "variable list: [json.exception.type_error.302] type must be number, but is string");
}

TEST(XcpKeys, ValuesThatDoNotFitTheirFieldAreRefused) {
    const auto error = [](const std::string& xcp) {
        return generateError(kNoVariables, R"({"xcp": )" + xcp + R"(, "variables": []})");
    };
    EXPECT_EQ(error(R"({"maxCto": 256})"), "variable list: maxCto 256 is out of range 0 to 255");
    EXPECT_EQ(error(R"({"maxDto": 65536})"), "variable list: maxDto 65536 is out of range 0 to 65535");
    EXPECT_EQ(error(R"({"port": 70000})"), "variable list: port 70000 is out of range 0 to 65535");
    EXPECT_EQ(error(R"({"timeoutsMs": [1, 2, 3]})"), "variable list: timeoutsMs must hold 7 values, not 3");
    EXPECT_EQ(error(R"({"timeoutsMs": [1, 2, 3, 4, 5, 6, 7, 8]})"),
              "variable list: timeoutsMs must hold 7 values, not 8");
    EXPECT_EQ(error(R"({"timeoutsMs": [1, 2, 3, 4, 5, 6, -1]})"),
              "variable list: timeoutsMs -1 is out of range 0 to 65535");
    EXPECT_EQ(error(R"({"timeoutsMs": [1, 2, 3, 4, 5, 6, 65536]})"),
              "variable list: timeoutsMs 65536 is out of range 0 to 65535");
    EXPECT_EQ(error(R"({"events": [{"name": "slow", "cycleMs": 256000}]})"),
              "variable list: cycleMs of event 'slow' 256000 is out of range 0 to 255999");
    EXPECT_EQ(error(R"({"events": [{"name": "e"}], "maxOdtEntrySize": 300})"),
              "variable list: maxOdtEntrySize 300 is out of range 0 to 255");
    // The limits themselves are accepted; the port is read for UDP only, the
    // ODT entry size only with events.
    EXPECT_EQ(
        error(R"({"maxCto": 255, "maxDto": 65535, "port": 65535, "timeoutsMs": [0, 0, 0, 0, 0, 0, 65535]})"),
        "(generated)");
    EXPECT_EQ(error(R"({"transport": "serial", "port": 70000})"), "(generated)");
    EXPECT_EQ(error(R"({"events": [{"name": "e"}], "maxOdtEntrySize": 255})"), "(generated)");
    EXPECT_EQ(error(R"({"maxOdtEntrySize": 300})"), "(generated)");
}

// Floating-point numbers whose integer part the target type cannot hold
// would be an undefined cast in the JSON library.
TEST(XcpKeys, FloatsBeyondTheirIntegerTypeAreRefused) {
    const auto error = [](const std::string& xcp) {
        return generateError(kNoVariables, R"({"xcp": )" + xcp + R"(, "variables": []})");
    };
    const std::pair<std::string, std::string> cases[] = {
        {R"({"timeoutsMs": [1e115]})", "timeoutsMs 1e+115 is out of range 0 to 65535"},
        {R"({"timeoutsMs": [1, 2, 3, 4, 5, 6, -2147483649.0]})",
         "timeoutsMs -2147483649.0 is out of range 0 to 65535"},
        {R"({"maxCto": 1e115})", "maxCto 1e+115 is out of range 0 to 255"},
        {R"({"maxDto": -2.5})", "maxDto -2.5 is out of range 0 to 65535"},
        {R"({"timestampSize": 4294967296.0})", "timestampSize 4294967296.0 is out of range 0 to 4294967295"},
        {R"({"events": [{"name": "e"}], "maxOdtEntrySize": 1e10})",
         "maxOdtEntrySize 10000000000.0 is out of range 0 to 255"},
        {R"({"events": [{"name": "e", "cycleMs": 1e20}]})",
         "cycleMs of event 'e' 1e+20 is out of range 0 to 255999"},
        {R"({"port": -1e10})", "port -10000000000.0 is out of range 0 to 65535"},
        {R"({"transport": "serial", "baudrate": 1e15})", "baudrate 1e+15 is out of range 0 to 4294967295"},
        {R"({"transport": "can", "cmdId": 1e30, "resId": 1})", "cmdId 1e+30 is out of range 0 to 4294967295"},
        {R"({"transport": "can", "cmdId": 1, "resId": -1.5})", "resId -1.5 is out of range 0 to 4294967295"},
        {R"({"transport": "can", "cmdId": 1, "resId": 1, "bitrate": 5e9})",
         "bitrate 5000000000.0 is out of range 0 to 4294967295"},
    };
    for (const auto& [xcp, message] : cases) EXPECT_EQ(error(xcp), "variable list: " + message) << xcp;
    // Elements convert in order, so an earlier type error still wins.
    EXPECT_EQ(error(R"({"timeoutsMs": ["x", 1e115]})"),
              "variable list: [json.exception.type_error.302] type must be number, but is string");
    const auto arrayLimit = [](const std::string& limit) {
        return generateError(kNoVariables,
                             R"({"defaults": {"maxArrayElements": )" + limit + R"(}, "variables": []})");
    };
    EXPECT_EQ(arrayLimit("1e30"),
              "variable list: maxArrayElements 1e+30 is out of range 0 to 18446744073709551615");
    // 2^64 itself is the first double beyond 64 bits.
    EXPECT_EQ(
        arrayLimit("18446744073709551616.0"),
        "variable list: maxArrayElements 1.8446744073709552e+19 is out of range 0 to 18446744073709551615");
    // The parser admits no NaN or infinity, but a value built in code can.
    const auto thrown = [](auto convert) -> std::string {
        try {
            convert();
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "(no exception)";
    };
    EXPECT_EQ(thrown([] { jsonToUnsigned(Json(std::nan(""))); }),
              "CAN identifier nan is out of range 0 to 4294967295");
    EXPECT_EQ(thrown([] { jsonInteger<std::int32_t>(Json(-std::numeric_limits<double>::infinity()), "x"); }),
              "x -inf is out of range -2147483648 to 2147483647");
}

TEST(XcpKeys, FractionsWithinTheTypeStillTruncate) {
    const std::string text = generateOk(kNoVariables, R"({"xcp": {
        "timeoutsMs": [1.9, 0.5, -0.5, 65535.99, 4294967297, 6, 7], "maxDto": -0.5, "port": 5555.9,
        "events": [{"name": "e", "cycleMs": 10.9}], "maxOdtEntrySize": 8.5}, "variables": []})")
                                 .text;
    // An integer beyond 32 bits keeps its low bits, as before.
    EXPECT_NE(text.find("        0x0101 1 0 0 65535 1 6 7 0xFF 0x0000\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" 8 OVERLOAD_INDICATION_PID\n"), std::string::npos);
    EXPECT_NE(text.find(" DAQ 1 10 6 0 /end EVENT\n"), std::string::npos);
    EXPECT_NE(text.find("        0x0100 5555\n"), std::string::npos);
    const std::string can =
        generateOk(
            kNoVariables,
            R"({"xcp": {"transport": "can", "cmdId": 2032.7, "resId": 4294967295.9}, "variables": []})")
            .text;
    EXPECT_NE(can.find("CAN_ID_MASTER 0x07F0\n        CAN_ID_SLAVE 0xFFFFFFFF\n"), std::string::npos) << can;
    EXPECT_EQ(readVariableList(R"({"defaults": {"maxArrayElements": 2.9}, "variables": []})", "fw")
                  .maxArrayElements,
              2u);
    EXPECT_EQ(readVariableList(
                  R"({"defaults": {"maxArrayElements": 18446744073709549568.0}, "variables": []})", "fw")
                  .maxArrayElements,
              18446744073709549568u);
    // Truncated values beyond the field meet the field's own check.
    EXPECT_EQ(generateError(kNoVariables, R"({"xcp": {"maxCto": 300.5}, "variables": []})"),
              "variable list: maxCto 300 is out of range 0 to 255");
    EXPECT_EQ(generateError(kNoVariables,
                            R"({"xcp": {"timeoutsMs": [1, 2, 3, 4, 5, 6, 2147483647.5]}, "variables": []})"),
              "variable list: timeoutsMs 2147483647 is out of range 0 to 65535");
    EXPECT_EQ(generateError(kNoVariables, R"({"xcp": {"maxDto": -1}, "variables": []})"),
              "variable list: maxDto 4294967295 is out of range 0 to 65535");
}

}  // namespace
}  // namespace vk::tool
