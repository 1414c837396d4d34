// The generator on real compiler output: exact objects for a firmware of
// known layout, bit masks in both byte orders, determinism, and the round
// trip over the whole fixture matrix: every generated file is written,
// loads with the tool's own reader without a skipped object, and holds the
// addresses and sizes that the ELF symbol table gives.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "a2l/project.h"
#include "generate_test_support.h"
#include "readelf_symbols.h"
#include "tool/a2l_format.h"
#include "tool/output_file.h"

namespace vk::tool {
namespace {

namespace fs = std::filesystem;
using testing::Firmware;
using testing::generateOk;
using testing::loadFirmware;
using testing::section;

const char* const kVariants[] = {"x86_64",     "i386",           "armv7m",       "aarch64",    "riscv32",
                                 "ppc",        "ppc64",          "arm-dwarf2",   "arm-dwarf3", "arm-dwarf5",
                                 "ppc-dwarf5", "x86_64-dwarf64", "ppc64-dwarf64"};

std::map<std::string, vk::elf::Symbol> objectSymbols(const vk::elf::ElfFile& elf) {
    std::map<std::string, vk::elf::Symbol> symbols;
    for (const vk::elf::Symbol& symbol : vk::elf::readSymbols(elf)) {
        if (symbol.type == vk::elf::STT_OBJECT) symbols[symbol.name] = symbol;
    }
    return symbols;
}

std::string address(const std::map<std::string, vk::elf::Symbol>& symbols, const std::string& name,
                    std::uint64_t offset = 0) {
    const auto found = symbols.find(name);
    if (found == symbols.end()) {
        ADD_FAILURE() << "no symbol " << name;
        return {};
    }
    return hexAddress(found->second.value + offset);
}

TEST(Generate, ObjectsOfAKnownFirmware) {
    const Firmware firmware = loadFirmware("generate_cases", "x86_64");
    const auto symbols = objectSymbols(firmware.elf);
    const GeneratedA2l result = generateOk(firmware, R"({
        "variables": [
            {"name": "v_s16", "factor": 0.1, "offset": -40, "unit": "degC"},
            {"name": "v_mode", "parameter": true},
            {"name": "v_ptr", "pointer": true, "description": "where"},
            {"name": "v_path[1]"}
        ]})");
    EXPECT_TRUE(result.warnings.empty());
    EXPECT_EQ(result.measurementCount, 4u);
    EXPECT_EQ(result.parameterCount, 1u);
    const std::size_t begin = result.text.find("    /end IF_DATA\n") + 17;
    EXPECT_EQ(result.text.substr(begin),
              "    /begin COMPU_METHOD CM_v_s16 \"\" LINEAR \"%10.3\" \"degC\"\n"
              "      COEFFS_LINEAR 0.1 -40\n"
              "    /end COMPU_METHOD\n"
              "    /begin COMPU_METHOD CM_v_mode \"\" TAB_VERB \"%8.0\" \"\"\n"
              "      COMPU_TAB_REF VT_v_mode\n"
              "    /end COMPU_METHOD\n"
              "    /begin COMPU_VTAB VT_v_mode \"\" TAB_VERB 3\n"
              "      0 \"MODE_OFF\"\n"
              "      1 \"MODE_ON\"\n"
              "      2 \"MODE_AUTO\"\n"
              "    /end COMPU_VTAB\n"
              "    /begin COMPU_METHOD CM_v_ptr \"\" IDENTICAL \"%8.0\" \"\"\n"
              "    /end COMPU_METHOD\n"
              "    /begin COMPU_METHOD CM_v_path[1].x \"\" IDENTICAL \"%8.0\" \"\"\n"
              "    /end COMPU_METHOD\n"
              "    /begin COMPU_METHOD CM_v_path[1].y \"\" IDENTICAL \"%8.0\" \"\"\n"
              "    /end COMPU_METHOD\n"
              "    /begin RECORD_LAYOUT RL_ULONG\n"
              "      FNC_VALUES 1 ULONG COLUMN_DIR DIRECT\n"
              "    /end RECORD_LAYOUT\n"
              "    /begin MEASUREMENT v_s16 \"short\"\n"
              "      SWORD CM_v_s16 0 0 -3316.8 3236.7\n"
              "      ECU_ADDRESS " +
                  address(symbols, "v_s16") +
                  "\n"
                  "    /end MEASUREMENT\n"
                  "    /begin CHARACTERISTIC v_mode \"enum mode\"\n"
                  "      VALUE " +
                  address(symbols, "v_mode") +
                  " RL_ULONG 0 CM_v_mode 0 2\n"
                  "    /end CHARACTERISTIC\n"
                  "    /begin MEASUREMENT v_ptr \"where\"\n"
                  "      A_UINT64 CM_v_ptr 0 0 0 1.844674407e+19\n"
                  "      ECU_ADDRESS " +
                  address(symbols, "v_ptr") +
                  "\n"
                  "    /end MEASUREMENT\n"
                  "    /begin MEASUREMENT v_path[1].x \"short\"\n"
                  "      SWORD CM_v_path[1].x 0 0 -32768 32767\n"
                  "      ECU_ADDRESS " +
                  address(symbols, "v_path", 4) +
                  "\n"
                  "    /end MEASUREMENT\n"
                  "    /begin MEASUREMENT v_path[1].y \"short\"\n"
                  "      SWORD CM_v_path[1].y 0 0 -32768 32767\n"
                  "      ECU_ADDRESS " +
                  address(symbols, "v_path", 6) +
                  "\n"
                  "    /end MEASUREMENT\n"
                  "  /end MODULE\n"
                  "/end PROJECT\n");
}

// Names carry no unit or namespace: of the variables of one name the first in
// link order keeps the identifier, each other one is named in a warning.
TEST(Generate, SameNamedVariablesOfSeveralUnits) {
    const auto skipped = [](const std::string& name, std::uint64_t first, std::uint64_t other) {
        return name + ": A2L identifier " + name + " already taken by " + name + " at " + hexAddress(first) +
               ", this one at " + hexAddress(other) + " skipped";
    };
    for (const char* variant : kVariants) {
        for (const bool reversed : {false, true}) {
            const std::string stem = reversed ? "same_names_reversed" : "same_names";
            SCOPED_TRACE(stem + "-" + variant);
            const Firmware firmware = loadFirmware(stem, variant);
            const auto s = testing_support::readelfSameNames(testing::fixturePath(stem, variant));
            const std::string counter = reversed ? skipped("counter", s.counterB, s.counterA)
                                                 : skipped("counter", s.counterA, s.counterB);
            const std::string state = reversed ? skipped("state", s.ignState, s.fuelState)
                                               : skipped("state", s.fuelState, s.ignState);
            const GeneratedA2l all = generateOk(firmware, R"({"variables": [{"name": "*"}]})");
            const std::vector<std::string> inLinkOrder = reversed ? std::vector<std::string>{state, counter}
                                                                  : std::vector<std::string>{counter, state};
            EXPECT_EQ(all.warnings, inLinkOrder);
            EXPECT_EQ(all.measurementCount, 4u);
            const GeneratedA2l one = generateOk(firmware, R"({"variables": [{"name": "state"}]})");
            EXPECT_EQ(one.warnings, std::vector<std::string>{state});
            EXPECT_NE(one.text.find("ECU_ADDRESS " + hexAddress(reversed ? s.ignState : s.fuelState) + "\n"),
                      std::string::npos);
        }
    }
}

TEST(Generate, BitMasksFollowTheByteOrder) {
    // struct flags { unsigned ready : 1; unsigned level : 3; unsigned code : 4; }
    const std::map<std::string, std::vector<std::string>> expected{
        {"x86_64", {"0x01", "0x0E", "0xF0"}},
        {"ppc", {"0x80000000", "0x70000000", "0xF000000"}},
        {"ppc64-dwarf64", {"0x80000000", "0x70000000", "0xF000000"}},
        {"arm-dwarf2", {"0x01", "0x0E", "0xF0"}},
    };
    for (const auto& [variant, masks] : expected) {
        const Firmware firmware = loadFirmware("generate_cases", variant);
        const std::string text = generateOk(firmware, R"({"variables": [{"name": "v_flags"}]})").text;
        const std::string ecu = address(objectSymbols(firmware.elf), "v_flags");
        const char* fields[] = {"ready", "level", "code"};
        const char* upper[] = {"1", "7", "15"};
        for (int i = 0; i < 3; ++i) {
            const std::string name = std::string("v_flags.") + fields[i];
            EXPECT_EQ(
                section(text, "    /begin MEASUREMENT " + name + " \"unsigned int\"", "    /end MEASUREMENT"),
                "    /begin MEASUREMENT " + name + " \"unsigned int\"\n      ULONG CM_" + name + " 0 0 0 " +
                    upper[i] + "\n      ECU_ADDRESS " + ecu + "\n      BIT_MASK " + masks[i] +
                    "\n    /end MEASUREMENT\n")
                << variant;
        }
    }
}

TEST(Generate, SignedBitFieldsHoldTwosComplementValues) {
    // struct corr { signed char trim : 3; signed char step : 4; }, masks as gdb places the fields
    const std::map<std::string, std::vector<std::string>> masks{
        {"x86_64", {"0x07", "0x78"}},
        {"ppc", {"0xE0", "0x1E"}},
        {"arm-dwarf2", {"0x07", "0x78"}},
    };
    const char* fields[] = {"trim", "step"};
    const char* limits[] = {"-4 3", "-8 7"};
    for (const auto& [variant, mask] : masks) {
        const Firmware firmware = loadFirmware("generate_cases", variant);
        const std::string text = generateOk(firmware, R"({"variables": [{"name": "v_corr"}]})").text;
        const std::string ecu = address(objectSymbols(firmware.elf), "v_corr");
        for (int i = 0; i < 2; ++i) {
            const std::string name = std::string("v_corr.") + fields[i];
            const std::string head = "    /begin MEASUREMENT " + name + " \"signed char\"";
            EXPECT_EQ(section(text, head, "    /end MEASUREMENT"),
                      head + "\n      SBYTE CM_" + name + " 0 0 " + limits[i] + "\n      ECU_ADDRESS " + ecu +
                          "\n      BIT_MASK " + mask[i] + "\n    /end MEASUREMENT\n")
                << variant;
        }
    }
}

// The last two fields of an object's second line.
std::string limitsOf(const std::string& text, const std::string& object) {
    const std::size_t header = text.find(" " + object + " \"");
    if (header == std::string::npos) return "(no " + object + ")";
    const std::size_t end = text.find('\n', text.find('\n', header) + 1);
    const std::size_t upper = text.rfind(' ', end);
    return text.substr(text.rfind(' ', upper - 1) + 1, end - text.rfind(' ', upper - 1) - 1);
}

// A verbal conversion uses neither factor nor offset, nor do its limits;
// computed limits rounded to ten digits stay inside what their type holds.
TEST(Generate, LimitsOfRealScalars) {
    const std::pair<const char*, const char*> rows[] = {
        {"v_s64", "-9.223372036e+18 9.223372036e+18"},
        {"v_u32", "-10 2147483637"},              // 2147483637.5 rounds up past the top
        {"v_wide.count", "-10 5.497558138e+11"},  // (2^40 - 1) / 2 - 10
        {"v_wide.flag", "0 1"},
        {"v_bool", "0 255"},
    };
    for (const char* variant : {"x86_64", "i386", "ppc", "arm-dwarf2"}) {
        const std::string text = generateOk(loadFirmware("generate_cases", variant), R"({"variables": [
            {"name": "v_s64"},
            {"name": "v_*", "factor": 0.5, "offset": -10, "parameter": true}]})")
                                     .text;
        for (const auto& [object, limits] : rows)
            EXPECT_EQ(limitsOf(text, object), limits) << variant << " " << object;
    }
}

TEST(Generate, MembersAtTheirCompilerOffsets) {
    // struct calibration on x86-64: idle_speed 0, gain 4, offset 8, map 16,
    // status 40 (bit fields in its first byte, counter at 41), gear 44,
    // enabled 48.
    const Firmware firmware = loadFirmware("basic", "x86_64");
    const auto symbols = objectSymbols(firmware.elf);
    const std::string text = generateOk(firmware, R"({"variables": [{"name": "g_cal"}]})").text;
    const std::pair<const char*, std::uint64_t> members[] = {
        {"g_cal.idle_speed", 0},      {"g_cal.gain", 4},       {"g_cal.offset", 8},
        {"g_cal.map[0][0]", 16},      {"g_cal.map[1][2]", 36}, {"g_cal.status.ready", 40},
        {"g_cal.status.counter", 41}, {"g_cal.gear", 44},      {"g_cal.enabled", 48},
    };
    for (const auto& [name, offset] : members) {
        const std::size_t at = text.find(std::string("    /begin MEASUREMENT ") + name + " ");
        ASSERT_NE(at, std::string::npos) << name;
        const std::size_t line = text.find("      ECU_ADDRESS ", at);
        EXPECT_EQ(text.substr(line + 18, text.find('\n', line) - line - 18),
                  address(symbols, "g_cal", offset))
            << name;
    }
    EXPECT_NE(
        text.find("    /begin MEASUREMENT g_cal.gear \"enum gear\"\n      SLONG CM_g_cal.gear 0 0 -1 1\n"),
        std::string::npos);
    EXPECT_NE(
        text.find("    /begin MEASUREMENT g_cal.enabled \"_Bool\"\n      UBYTE CM_g_cal.enabled 0 0 0 255\n"),
        std::string::npos);
}

// The C++ firmware of every C++ compiler: enumerations take the size and
// signedness of their underlying type (verbal values and limits of uint64_t
// ones above 2^63 too, bit fields of them as well), a class defined in
// another unit gives its members, and what cannot be placed answers the
// entries that name it with its warning.
TEST(Generate, CppFirmwareOfEveryCompiler) {
    std::vector<std::string> builds;
    for (const auto& entry : fs::directory_iterator(fs::path(VK_FIXTURE_DIR) / "cpp"))
        if (entry.path().extension() == ".elf") builds.push_back(entry.path().stem().string());
    ASSERT_FALSE(builds.empty());
    const std::string virtualBase =
        "smartDev: left out: the members of its virtual base class Node, which only the running program "
        "places";
    for (const std::string& build : builds) {
        SCOPED_TRACE(build);
        const Firmware firmware = loadFirmware("cpp/firmware", build.substr(9));
        const GeneratedA2l result = generateOk(firmware, R"({"variables": [
            {"name": "torque"}, {"name": "wide"}, {"name": "modes"}, {"name": "flags.dir"},
            {"name": "chanTable[1].chanId"}, {"name": "smartDev.nodeId"}, {"name": "opaqueObj"}]})");
        const std::string& text = result.text;
        for (const auto& [name, line] : std::vector<std::pair<std::string, std::string>>{
                 {"torque", "SWORD CM_torque 0 0 1 2"},
                 {"wide", "A_UINT64 CM_wide 0 0 0 1.844674407e+19"},
                 {"modes.gear", "UBYTE CM_modes.gear 0 0 0 255"},
                 {"modes.trim", "SBYTE CM_modes.trim 0 0 -128 127"},
                 {"modes.code", "SLONG CM_modes.code 0 0 -2 255"},
                 {"flags.dir", "SWORD CM_flags.dir 0 0 1 2"}}) {
            const std::size_t at = text.find("    /begin MEASUREMENT " + name + " ");
            EXPECT_EQ(at == std::string::npos ? "(none)" : text.substr(text.find('\n', at) + 7, line.size()),
                      line)
                << name;
        }
        EXPECT_NE(text.find("      18446744073709551615 \"U64_B\"\n"), std::string::npos);
        EXPECT_NE(text.find("      255 \"Top\"\n"), std::string::npos);
        EXPECT_NE(text.find("      -128 \"Low\"\n"), std::string::npos);
        EXPECT_NE(text.find("      255 \"Max\"\n"), std::string::npos);
        EXPECT_NE(text.find("    /begin MEASUREMENT chanTable[1].chanId "), std::string::npos);
        EXPECT_EQ(std::count(result.warnings.begin(), result.warnings.end(), virtualBase), 1);
        const bool opaqueListed = text.find("MEASUREMENT opaqueObj.") != std::string::npos;
        for (const std::string& warning : result.warnings) {
            EXPECT_EQ(warning.find("matches no variable"), std::string::npos) << warning;
            if (warning.rfind("opaqueObj: left out: ", 0) == 0) {
                EXPECT_FALSE(opaqueListed);
            }
        }
    }
}

TEST(Generate, SameInputSameText) {
    const Firmware firmware = loadFirmware("basic", "ppc");
    const char* json =
        R"({"xcp": {"events": [{"name": "e"}]}, "variables": [{"name": "*", "pointer": true}]})";
    EXPECT_EQ(generateOk(firmware, json).text, generateOk(firmware, json).text);
}

const char* const kEveryFeature = R"({
    "module": "round-trip", "description": "all \"features\"\n",
    "xcp": {"transport": "can", "cmdId": "0x7E0", "resId": 2024, "maxCto": 8, "maxDto": 8,
            "events": [{"name": "10ms", "cycleMs": 10}, {"name": "slow", "cycleMs": 100000}]},
    "defaults": {"event": "10ms", "maxArrayElements": 8},
    "variables": [
        {"name": "g_cal", "parameter": true, "factor": 0.5, "unit": "x"},
        {"name": "v_u16", "verbal": {"0": "zero", "1": "one"}, "writable": true},
        {"name": "v_f32", "offset": -1, "unit": "V", "min": -5, "max": 5},
        {"name": "v_flags", "parameter": true},
        {"name": "*ptr", "pointer": true, "event": "slow"},
        {"name": "*", "event": 1}
    ]})";

std::string fileName(const fs::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

TEST(Generate, RoundTripOverTheFixtureMatrix) {
    const fs::path dir = fs::temp_directory_path() / ("vk_generate_test_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    for (const char* stem : {"basic", "generate_cases"}) {
        for (const char* variant : kVariants) {
            SCOPED_TRACE(std::string(stem) + "-" + variant);
            const Firmware firmware = loadFirmware(stem, variant);
            const GeneratedA2l result = generateOk(firmware, kEveryFeature);
            ASSERT_GT(result.measurementCount, 0u);
            const fs::path path = dir / (std::string(stem) + "-" + variant + ".a2l");
            ASSERT_TRUE(writeFileSafely(path, result.text).ok());
            auto project = vk::a2l::load(path);
            ASSERT_TRUE(project.ok()) << project.error().message();
            EXPECT_EQ(project.value().warnings, std::vector<std::string>{}) << fileName(path);
            ASSERT_EQ(project.value().modules.size(), 1u);
            const vk::a2l::Module& module = project.value().modules[0];
            EXPECT_EQ(module.name, "round_trip");
            EXPECT_EQ(module.longIdentifier, "all \"features\"\n");
            EXPECT_EQ(module.measurements.size(), result.measurementCount);
            EXPECT_EQ(module.characteristics.size(), result.parameterCount);
            ASSERT_TRUE(module.xcp);
            EXPECT_EQ(module.xcp->events.size(), 2u);
            ASSERT_TRUE(module.xcp->timeouts);
            EXPECT_EQ((*module.xcp->timeouts)[6], 200u);
            ASSERT_TRUE(module.xcp->can);
            EXPECT_EQ(module.xcp->can->canIdSlave, 2024u);

            // Every scalar global with an object symbol: its address and size.
            for (const auto& [name, symbol] : objectSymbols(firmware.elf)) {
                const vk::a2l::Measurement* m = module.findMeasurement(name);
                const vk::a2l::Characteristic* c = module.findCharacteristic(name);
                if (m == nullptr && c == nullptr) continue;
                if (m != nullptr) {
                    ASSERT_TRUE(m->ecuAddress) << name;
                    EXPECT_EQ(*m->ecuAddress, symbol.value) << name;
                    EXPECT_EQ(vk::a2l::dataTypeSize(m->dataType), symbol.size) << name;
                } else {
                    EXPECT_EQ(c->address, symbol.value) << name;
                }
            }
        }
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace vk::tool
