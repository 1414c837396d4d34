// Firmware of 400 units that all include one header enumeration of 3000
// long enumerator names (tests/fixtures/generated/many_units.sh), built by
// clang and by the embedded gcc: every global is listed with its whole type,
// and the names the units share are held once, not once per unit.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "elf/debug_info.h"
#include "elf/elf_file.h"
#include "tool_run.h"

namespace vk::tool {
namespace {

namespace fs = std::filesystem;
using testing_support::runTool;
using testing_support::ToolRun;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

constexpr int kUnits = 400;

class ManyUnits : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        elf_ = fs::path(VK_FIXTURE_DIR) / "generated" / ("many_units-" + std::string(GetParam()) + ".elf");
        if (!fs::exists(elf_)) GTEST_SKIP() << elf_ << " not built: compiler missing";
    }
    fs::path elf_;
};

TEST_P(ManyUnits, EveryGlobalIsListedWithinEightTimesTheFileSize) {
    const fs::path dir = fs::temp_directory_path() / ("vk_many_units_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const ToolRun run = runTool(dir, {elf_.string()});
    fs::remove_all(dir);
    ASSERT_EQ(run.status, 0) << run.err;
    std::set<std::string> names;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_NE(line.find(" enum "), std::string::npos) << line;
        names.insert(line.substr(line.rfind(' ') + 1));
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(kUnits));
    for (int i = 0; i < kUnits; ++i) EXPECT_EQ(names.count("lastEvent_" + std::to_string(i)), 1u) << i;
    EXPECT_NE(run.err.find("400 scalar(s) in 400 variable(s)"), std::string::npos) << run.err;
    if (!kSanitized) {
        EXPECT_LE(static_cast<std::uintmax_t>(run.maxRssKb) * 1024, 8 * fs::file_size(elf_));
    }
}

TEST_P(ManyUnits, EveryUnitKeepsTheWholeEnumeration) {
    auto elf = vk::elf::loadElf(elf_.string());
    ASSERT_TRUE(elf.ok()) << elf.error().message();
    auto debug = vk::elf::loadDwarf(elf.value());
    ASSERT_TRUE(debug.ok()) << debug.error().message();
    const vk::elf::DebugInfo& info = debug.value();
    ASSERT_EQ(info.globals.size(), static_cast<std::size_t>(kUnits));
    std::set<std::int32_t> enumerations;
    for (const vk::elf::GlobalVariable& g : info.globals) {
        const std::int32_t type = vk::elf::resolveAlias(info.types, g.typeIndex);
        ASSERT_GE(type, 0) << g.name;
        const vk::elf::TypeInfo& e = info.types[static_cast<std::size_t>(type)];
        ASSERT_EQ(e.enumerators.size(), 3000u) << g.name;
        EXPECT_EQ(e.enumerators.back().name,
                  "DEM_EVENT_CONTROLLER_DIAGNOSTIC_MONITOR_REFERENCE_SIGNAL_PLAUSIBILITY_CHK_02999");
        enumerations.insert(type);
    }
    EXPECT_EQ(enumerations.size(), static_cast<std::size_t>(kUnits));  // one per unit, as the DIEs are
    EXPECT_LT(info.names.bytes(), std::uint64_t{1} << 20);
}

INSTANTIATE_TEST_SUITE_P(Compilers, ManyUnits, ::testing::Values("clang", "gcc"));

}  // namespace
}  // namespace vk::tool
