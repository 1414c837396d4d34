#include "a2l/module.h"

#include <gtest/gtest.h>

#include "model_test_support.h"

namespace vk::a2l {
namespace {

using test::readModule;

TEST(ModuleWalker, NameAndLongIdentifier) {
    const test::ModuleRead full = readModule("/begin MODULE ECU \"the \\\"ECU\\\"\" /end MODULE");
    EXPECT_EQ(full.module.name, "ECU");
    EXPECT_EQ(full.module.longIdentifier, "the \"ECU\"");
    const test::ModuleRead bare = readModule("/begin MODULE /end MODULE");
    EXPECT_EQ(bare.module.name, "");
    const test::ModuleRead word = readModule("/begin MODULE 0x10 ident /end MODULE");
    EXPECT_EQ(word.module.name, "0x10");
    EXPECT_EQ(word.module.longIdentifier, "");
    EXPECT_TRUE(full.warnings.empty());
}

TEST(ModuleWalker, WarningsKeepTextOrderAndOtherObjectsLoad) {
    const test::ModuleRead read = readModule(R"(/begin MODULE M ""
/begin MEASUREMENT good "" UBYTE c 0 0 0 1 /end MEASUREMENT
/begin MEASUREMENT "quoted" "" UBYTE c 0 0 0 1 /end MEASUREMENT
/begin COMPU_TAB T "" TAB_INTP x /end COMPU_TAB
/begin COMPU_METHOD C "" LINEAR "%d" "" /end COMPU_METHOD
/begin GROUP G "" /begin REF_MEASUREMENT good /end REF_MEASUREMENT /end GROUP
/begin FUNCTION F "" /begin MEASUREMENT inner "" UBYTE /end MEASUREMENT /end FUNCTION
/begin UNIT U "" "x" DERIVED /end UNIT
/begin IF_DATA XCP /begin PROTOCOL_LAYER /end PROTOCOL_LAYER /end IF_DATA
/begin COMPU_VTAB V "" TAB_VERB x /end COMPU_VTAB
/end MODULE)");
    EXPECT_EQ(read.warnings,
              (std::vector<std::string>{
                  "line 3: MEASUREMENT quoted skipped: name must not be a string",
                  "line 4: COMPU_TAB T skipped: number of value pairs must be a number, got 'x'",
                  "line 5: COMPU_METHOD C skipped: LINEAR without COEFFS_LINEAR",
                  "line 9: IF_DATA XCP skipped: missing version",
                  "line 10: COMPU_VTAB V skipped: number of entries must be a number, got 'x'",
              }));
    ASSERT_EQ(read.module.measurements.size(), 1u);
    EXPECT_EQ(read.module.measurements[0].name, "good");
    EXPECT_FALSE(read.module.xcp);
}

TEST(ModuleWalker, ModuleSettingsLastOneWins) {
    const test::ModuleRead read = readModule(R"(/begin MODULE M
/begin MOD_COMMON "" BYTE_ORDER MSB_FIRST /end MOD_COMMON
/begin MOD_PAR "" SYSTEM_CONSTANT "K" "1" SYSTEM_CONSTANT "tab\t" word SYSTEM_CONSTANT "K" "2"
  SYSTEM_CONSTANT "late" /end MOD_PAR
/begin IF_DATA XCP /begin XCP_ON_CAN 1 CAN_ID_MASTER 5 /end XCP_ON_CAN /end IF_DATA
/begin IF_DATA XCPplus 0x104 /begin XCP_ON_CAN 1 CAN_ID_MASTER 6 /end XCP_ON_CAN /end IF_DATA
/begin IF_DATA CANAPE_EXT /begin XCP_ON_CAN 1 CAN_ID_MASTER 7 /end XCP_ON_CAN /end IF_DATA
/begin IF_DATA XCP /begin DAQ /begin EVENT e /end EVENT /end DAQ /end IF_DATA
/begin IF_DATA /end IF_DATA
/end MODULE)");
    EXPECT_EQ(read.warnings,
              (std::vector<std::string>{"line 8: IF_DATA XCP skipped: name must be a string"}));
    EXPECT_EQ(read.module.byteOrder, ByteOrder::MsbFirst);
    EXPECT_EQ(read.module.systemConstants,
              (std::unordered_map<std::string, std::string>{{"K", "2"}, {"tab\t", "word"}}));
    ASSERT_TRUE(read.module.xcp);
    EXPECT_EQ(read.module.xcp->can->canIdMaster, 6u);  // the failed last block keeps the good one

    const test::ModuleRead cleared = readModule(R"(/begin MODULE M
/begin MOD_COMMON "" BYTE_ORDER MSB_LAST /end MOD_COMMON /begin MOD_COMMON "" /end MOD_COMMON
/begin IF_DATA "XCP" /end IF_DATA
/end MODULE)");
    EXPECT_FALSE(cleared.module.byteOrder);
    ASSERT_TRUE(cleared.module.xcp);  // a quoted XCP is read like the word
    EXPECT_FALSE(cleared.module.xcp->timeouts);
}

TEST(ModuleIndex, LookupsFindTheFirstObjectOfAName) {
    const test::ModuleRead read = readModule(R"(/begin MODULE M
/begin MEASUREMENT dup "first" UBYTE c 0 0 0 1 /end MEASUREMENT
/begin MEASUREMENT dup "second" UBYTE c 0 0 0 1 /end MEASUREMENT
/begin CHARACTERISTIC p "" VALUE 0 RL 0 c 0 1 /end CHARACTERISTIC
/begin COMPU_METHOD c "" IDENTICAL "%d" "" /end COMPU_METHOD
/begin COMPU_TAB t "" TAB_INTP 0 /end COMPU_TAB
/begin COMPU_VTAB_RANGE v "range" 0 /end COMPU_VTAB_RANGE
/begin COMPU_VTAB v "plain" TAB_VERB 0 /end COMPU_VTAB
/begin COMPU_VTAB w "plain" TAB_VERB 0 /end COMPU_VTAB
/begin RECORD_LAYOUT RL FNC_VALUES 1 ULONG /end RECORD_LAYOUT
/end MODULE)");
    const Module& m = read.module;
    ASSERT_EQ(m.measurements.size(), 2u);
    EXPECT_EQ(m.findMeasurement("dup"), &m.measurements[0]);
    EXPECT_EQ(m.findMeasurement("none"), nullptr);
    EXPECT_EQ(m.findCharacteristic("p"), &m.characteristics[0]);
    EXPECT_EQ(m.findCompuMethod("c"), &m.compuMethods[0]);
    EXPECT_EQ(m.findCompuTab("t"), &m.compuTabs[0]);
    ASSERT_EQ(m.compuVtabs.size(), 3u);
    EXPECT_EQ(m.findCompuVtab("v"), &m.compuVtabs[0]);  // the range table, first in the text
    EXPECT_EQ(m.findCompuVtab("w"), &m.compuVtabs[2]);
    EXPECT_EQ(m.findRecordLayout("RL")->fncValues->dataType, DataType::ULong);
    EXPECT_EQ(m.findAxisPts("p"), nullptr);
    EXPECT_EQ(m.measurementIndex.size(), 1u);
}

TEST(ModuleIndex, MovedAndReindexedModulesStayValid) {
    test::ModuleRead read = readModule(R"(/begin MODULE M
/begin MEASUREMENT a "" UBYTE c 0 0 0 1 /end MEASUREMENT
/begin MEASUREMENT b "" UBYTE c 0 0 0 1 /end MEASUREMENT
/end MODULE)");
    std::vector<Module> modules;
    modules.push_back(std::move(read.module));
    modules.reserve(16);  // moves the module again
    const Module& moved = modules[0];
    EXPECT_EQ(moved.findMeasurement("b"), &moved.measurements[1]);

    Module edited = moved;
    edited.measurements.erase(edited.measurements.begin());
    edited.reindex();
    EXPECT_EQ(edited.findMeasurement("a"), nullptr);
    EXPECT_EQ(edited.findMeasurement("b"), &edited.measurements[0]);
}

}  // namespace
}  // namespace vk::a2l
