// Reading the JSON variable list: syntax, the list rule, defaults, the order
// in which keys are read (which decides the error reported), event
// references, CAN identifiers, and the refusal of values that do not fit.
#include "tool/variable_list.h"

#include <gtest/gtest.h>

#include "generate_test_support.h"

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
    // The limits themselves are accepted; the port is read for UDP only.
    EXPECT_EQ(
        error(R"({"maxCto": 255, "maxDto": 65535, "port": 65535, "timeoutsMs": [0, 0, 0, 0, 0, 0, 65535]})"),
        "(generated)");
    EXPECT_EQ(error(R"({"transport": "serial", "port": 70000})"), "(generated)");
}

}  // namespace
}  // namespace vk::tool
