#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "a2l/project.h"

namespace vk::a2l {
namespace {

namespace fs = std::filesystem;

std::string parseError(std::string_view text) {
    const Result<Project> project = parse(text);
    if (project.ok()) return "";
    EXPECT_EQ(project.error().code, ErrorCode::InvalidArgument);
    return project.error().message();
}

// A file of its own per test, so that tests may run in parallel.
fs::path writeFile(const std::string& name, std::string_view text) {
    const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const fs::path dir = fs::path(::testing::TempDir()) / ("vk_a2l_load_" + test);
    fs::create_directories(dir);
    const fs::path path = dir / name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(Parse, AsapVersionFromTheTopLevelLastOneWins) {
    auto versionOf = [](std::string_view text) {
        const Result<Project> project = parse(text);
        EXPECT_TRUE(project.ok());
        return project.ok() ? std::pair{project.value().asap2Version, project.value().asap2Upgrade}
                            : std::pair<std::uint16_t, std::uint16_t>{};
    };
    using V = std::pair<std::uint16_t, std::uint16_t>;
    EXPECT_EQ(versionOf("ASAP2_VERSION 1 61 /begin PROJECT P /begin MODULE M /end MODULE /end PROJECT"),
              V(1, 61));
    EXPECT_EQ(versionOf("ASAP2_VERSION 1 61 /begin PROJECT P /begin MODULE M /end MODULE /end PROJECT "
                        "ASAP2_VERSION 1 71"),
              V(1, 71));
    EXPECT_EQ(versionOf("ASAP2_VERSION 1 61 /begin PROJECT P /begin MODULE M /end MODULE /end PROJECT "
                        "ASAP2_VERSION 2"),
              V(1, 61));
    EXPECT_EQ(versionOf("ASAP2_VERSION x y /begin PROJECT P /begin MODULE M /end MODULE /end PROJECT"),
              V(0, 0));
    EXPECT_EQ(versionOf("ASAP2_VERSION 1x \"7\" /begin PROJECT P /begin MODULE M /end MODULE /end PROJECT"),
              V(1, 0));
    EXPECT_EQ(versionOf("/begin PROJECT P ASAP2_VERSION 1 61 /begin MODULE M /end MODULE /end PROJECT"),
              V(0, 0));
}

TEST(Parse, FailsOnlyForTextOrMissingProjectOrModule) {
    EXPECT_EQ(parseError(""), "A2L: no PROJECT block");
    EXPECT_EQ(parseError("// nothing\n/* at all */"), "A2L: no PROJECT block");
    EXPECT_EQ(
        parseError("/begin HEADER /begin PROJECT P /begin MODULE M /end MODULE /end PROJECT /end HEADER"),
        "A2L: no PROJECT block");
    EXPECT_EQ(parseError("/begin PROJECT P /end PROJECT"), "A2L: no MODULE block");
    EXPECT_EQ(
        parseError("/begin PROJECT P /begin GROUP G /begin MODULE M /end MODULE /end GROUP /end PROJECT"),
        "A2L: no MODULE block");
    EXPECT_EQ(parseError("/begin PROJECT P\n/begin MODULE M\n/end PROJECT"),
              "A2L line 3: /end PROJECT does not match /begin MODULE (line 2)");

    const Result<Project> two = parse(
        "/begin PROJECT \"P\\q\" /begin MODULE A /end MODULE /begin MODULE B /end MODULE /end PROJECT "
        "/begin PROJECT Q /begin MODULE C /end MODULE /end PROJECT");
    ASSERT_TRUE(two.ok());
    EXPECT_EQ(two.value().name, "P\\q");  // raw, escapes not resolved
    ASSERT_EQ(two.value().modules.size(), 2u);
    EXPECT_EQ(two.value().modules[1].name, "B");
}

TEST(Load, ErrorsNameTheFile) {
    const fs::path empty = writeFile("out.a2l", "");
    const Result<Project> emptyLoad = load(empty);
    ASSERT_FALSE(emptyLoad.ok());
    EXPECT_EQ(emptyLoad.error().code, ErrorCode::InvalidArgument);
    EXPECT_EQ(emptyLoad.error().message(), "out.a2l: A2L: no PROJECT block");
    EXPECT_EQ(emptyLoad.error().systemError, 0);
    EXPECT_EQ(emptyLoad.error().extra, -1);

    const fs::path bad = writeFile("bad.a2l", "/begin PROJECT P\n\"open");
    EXPECT_EQ(load(bad).error().message(), "bad.a2l: A2L line 2: unterminated string");

    const fs::path missing = empty.parent_path() / "missing.a2l";
    const Result<Project> missingLoad = load(missing);
    ASSERT_FALSE(missingLoad.ok());
    EXPECT_EQ(missingLoad.error().code, ErrorCode::NotFound);
    EXPECT_EQ(missingLoad.error().message(), "cannot open A2L file " + missing.string());

    // A directory opens on some systems but cannot be read: not an empty text.
    const Result<Project> dirLoad = load(empty.parent_path());
    ASSERT_FALSE(dirLoad.ok());
    EXPECT_EQ(dirLoad.error().message(), "cannot open A2L file " + empty.parent_path().string());
}

TEST(Load, FullModuleFromAFile) {
    const Result<Project> loaded = load(fs::path(VK_SOURCE_DIR) / "tests/a2l/data/full_module.a2l");
    ASSERT_TRUE(loaded.ok()) << loaded.error().message();
    const Project& project = loaded.value();
    EXPECT_EQ(project.asap2Version, 1);
    EXPECT_EQ(project.asap2Upgrade, 61);
    EXPECT_EQ(project.name, "bench");
    EXPECT_EQ(project.warnings,
              (std::vector<std::string>{
                  "line 23: IF_DATA XCP skipped: MAX_DTO must be a number, got 'BYTE_ORDER_MSB_LAST'",
                  "line 28: COMPU_METHOD cm_bad skipped: FORM without FORMULA",
                  "line 39: MEASUREMENT broken skipped: missing upper limit",
              }));
    ASSERT_EQ(project.modules.size(), 1u);
    const Module& m = project.modules[0];
    EXPECT_EQ(m.name, "engine");
    EXPECT_EQ(m.longIdentifier, "engine controller");
    EXPECT_EQ(m.byteOrder, ByteOrder::MsbLast);
    EXPECT_EQ(m.systemConstants.at("cylinders"), "4");
    EXPECT_EQ(m.systemConstants.at("variant"), "B");

    ASSERT_TRUE(m.xcp);  // the first block's settings survive the failed second one
    const XcpSettings& xcp = *m.xcp;
    EXPECT_EQ(xcp.maxCto, 255);
    EXPECT_EQ(xcp.maxDto, 1024);
    EXPECT_EQ(xcp.optionalCmds, (std::vector<std::string>{"GET_COMM_MODE_INFO", "SET_MTA"}));
    EXPECT_TRUE(xcp.daqDynamic);
    EXPECT_EQ(xcp.timestampSize, 4);
    ASSERT_EQ(xcp.events.size(), 2u);
    EXPECT_EQ(xcp.events[1].name, "100ms");
    EXPECT_EQ(xcp.can->canIdSlave, 0x7E8u);
    EXPECT_EQ(xcp.can->baudrate, 500000u);
    EXPECT_EQ(xcp.can->canFdMaxDlc, 64);
    EXPECT_EQ(xcp.ip->port, 5556);  // nested in the CAN block
    EXPECT_EQ(xcp.ip->host, "192.168.0.10");
    EXPECT_EQ(xcp.sxi->baudrate, 115200u);

    EXPECT_EQ(m.compuMethods.size(), 2u);
    EXPECT_EQ(m.findCompuMethod("cm_gear")->compuTabRef, "vt_gear");
    EXPECT_EQ(m.findCompuTab("tab_map")->pairs.size(), 2u);
    ASSERT_EQ(m.compuVtabs.size(), 3u);
    EXPECT_EQ(m.findCompuVtab("vt_gear")->defaultValue, "?");  // the COMPU_VTAB, first of the name
    EXPECT_EQ(m.findCompuVtab("vt_range")->entries[1].inValMax, 20);
    EXPECT_EQ(m.findRecordLayout("RL_UWORD")->fncValues->dataType, DataType::UWord);

    ASSERT_EQ(m.measurements.size(), 2u);
    EXPECT_EQ(m.findMeasurement("engine.speed")->ecuAddress, 0x20001000u);
    EXPECT_EQ(m.findMeasurement("engine.speed")->events, (std::vector<std::uint16_t>{0}));
    EXPECT_EQ(m.findMeasurement("engine.temp")->dataType, DataType::SWord);
    EXPECT_EQ(m.findMeasurement("broken"), nullptr);
    ASSERT_EQ(m.characteristics.size(), 2u);
    EXPECT_EQ(m.findCharacteristic("ign.map")->axisDescrs.size(), 2u);
    EXPECT_EQ(m.findCharacteristic("ign.map")->axisDescrs[0].axisPtsRef, "ax.speed");
    EXPECT_EQ(m.findAxisPts("ax.speed")->address, 0x20003000u);
}

}  // namespace
}  // namespace vk::a2l
