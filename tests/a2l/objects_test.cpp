#include <gtest/gtest.h>

#include "a2l/axis_pts.h"
#include "a2l/characteristic.h"
#include "a2l/measurement.h"
#include "model_test_support.h"

namespace vk::a2l {
namespace {

using test::firstBlock;
using test::objectErrorOf;
using test::readModule;

Measurement measurementOf(std::string_view literal) {
    return parseMeasurement(firstBlock(literal));
}
Characteristic characteristicOf(std::string_view literal) {
    return parseCharacteristic(firstBlock(literal));
}

TEST(Measurement, ReadsFieldsAndOptionalKeywords) {
    const Measurement m = measurementOf(R"(/begin MEASUREMENT engine.speed "rpm \"x\"" UWORD CM 1 0 0 8000
        ECU_ADDRESS 0x20001000 ECU_ADDRESS_EXTENSION 0x101 BIT_MASK 0xFF00 BYTE_ORDER MSB_FIRST
        DISPLAY_IDENTIFIER disp FORMAT "%5.0" PHYS_UNIT "1/min" READ_WRITE ARRAY_SIZE 8
        /begin IF_DATA XCP /begin DAQ_EVENT FIXED_EVENT_LIST EVENT 2 EVENT 1 /end DAQ_EVENT /end IF_DATA
        /begin IF_DATA CANAPE EVENT 9 /end IF_DATA
        /begin IF_DATA XCPplus EVENT 2 /end IF_DATA
        /end MEASUREMENT)");
    EXPECT_EQ(m.name, "engine.speed");
    EXPECT_EQ(m.longIdentifier, "rpm \"x\"");
    EXPECT_EQ(m.dataType, DataType::UWord);
    EXPECT_EQ(m.conversion, "CM");
    EXPECT_EQ(m.lowerLimit, 0);
    EXPECT_EQ(m.upperLimit, 8000);
    EXPECT_EQ(m.ecuAddress, 0x20001000u);
    EXPECT_EQ(m.ecuAddressExtension, 1);  // low 8 bits of 0x101
    EXPECT_EQ(m.bitMask, 0xFF00u);
    EXPECT_EQ(m.byteOrder, ByteOrder::MsbFirst);
    EXPECT_EQ(m.elementCount, 8u);
    EXPECT_EQ(m.displayIdentifier, "disp");
    EXPECT_EQ(m.format, "%5.0");
    EXPECT_EQ(m.physUnit, "1/min");
    EXPECT_TRUE(m.readWrite);
    EXPECT_EQ(m.events, (std::vector<std::uint16_t>{2, 1, 2}));
}

TEST(Measurement, AbsentAndNarrowedValues) {
    const Measurement plain = measurementOf(
        "/begin MEASUREMENT m \"\" SLONG NO_COMPU_METHOD 0 0 -10 10 \"READ_WRITE\" BIT_MASK x /end "
        "MEASUREMENT");
    EXPECT_FALSE(plain.ecuAddress);
    EXPECT_EQ(plain.ecuAddressExtension, 0);
    EXPECT_FALSE(plain.bitMask);
    EXPECT_FALSE(plain.byteOrder);
    EXPECT_EQ(plain.elementCount, 1u);
    EXPECT_FALSE(plain.readWrite);
    EXPECT_TRUE(plain.events.empty());

    EXPECT_EQ(
        measurementOf("/begin MEASUREMENT m \"\" UBYTE c 0 0 0 1 ECU_ADDRESS 0x100000000 /end MEASUREMENT")
            .ecuAddress,
        0u);
    EXPECT_EQ(
        measurementOf("/begin MEASUREMENT m \"\" UBYTE c 0 0 0 1 ECU_ADDRESS -1 /end MEASUREMENT").ecuAddress,
        0xFFFFFFFFu);
    EXPECT_EQ(measurementOf("/begin MEASUREMENT m \"\" UBYTE c 0 0 0 1 ECU_ADDRESS 1e19 /end MEASUREMENT")
                  .ecuAddress,
              0u);
    // Whole numbers are read to the last of their 64 bits; fractions and
    // exponents through the double, 2^64 and more giving 0.
    const std::pair<const char*, std::uint64_t> masks[] = {
        {"-1", 0xFFFFFFFFFFFFFFFFu},
        {"0x8000000000000000", 0x8000000000000000u},
        {"0xFFFFFFFFFFFFFFFF", 0xFFFFFFFFFFFFFFFFu},
        {"0xFC00000000000001", 0xFC00000000000001u},
        {"18446744073709551615", 0xFFFFFFFFFFFFFFFFu},
        {"18446744073709551616", 0u},
        {"1e3", 1000u},
    };
    for (const auto& [text, mask] : masks)
        EXPECT_EQ(measurementOf("/begin MEASUREMENT m \"\" UBYTE c 0 0 0 1 BIT_MASK " + std::string(text) +
                                " /end MEASUREMENT")
                      .bitMask,
                  mask)
            << text;
    EXPECT_EQ(
        measurementOf("/begin MEASUREMENT m \"\" UBYTE c 0 0 0 1 ECU_ADDRESS_EXTENSION 3e9 /end MEASUREMENT")
            .ecuAddressExtension,
        0);
}

TEST(Measurement, ElementCountFromArraySizeAndMatrixDim) {
    auto count = [](std::string_view literal) { return measurementOf(literal).elementCount; };
    EXPECT_EQ(count("/begin MEASUREMENT m \"\" UBYTE c 0 0 0 1 MATRIX_DIM 2 3 4 /end MEASUREMENT"), 24u);
    EXPECT_EQ(count("/begin MEASUREMENT m \"\" UBYTE c 0 0 0 1 MATRIX_DIM 2 0 3 /end MEASUREMENT"), 6u);
    EXPECT_EQ(count("/begin MEASUREMENT m \"\" UBYTE c 0 0 0 1 MATRIX_DIM x /end MEASUREMENT"), 1u);
    EXPECT_EQ(count("/begin MEASUREMENT m \"\" UBYTE c 0 0 0 1 ARRAY_SIZE 8 MATRIX_DIM 2 3 /end MEASUREMENT"),
              6u);
    EXPECT_EQ(count("/begin MEASUREMENT m \"\" UBYTE c 0 0 0 1 MATRIX_DIM 2 3 ARRAY_SIZE 8 /end MEASUREMENT"),
              6u);
    EXPECT_EQ(count("/begin MEASUREMENT m \"\" UBYTE c 0 0 0 1 ARRAY_SIZE x /end MEASUREMENT"), 1u);
    // The product wraps in 32 bits.
    EXPECT_EQ(count("/begin MEASUREMENT m \"\" UBYTE c 0 0 0 1 MATRIX_DIM 65536 65537 /end MEASUREMENT"),
              65536u);
}

TEST(Measurement, FieldErrors) {
    auto error = [](std::string_view literal) {
        const Block block = firstBlock(literal);
        return objectErrorOf([&] { parseMeasurement(block); });
    };
    EXPECT_EQ(error("/begin MEASUREMENT m \"\" UINT8 c 0 0 0 1 /end MEASUREMENT"),
              "unknown data type 'UINT8'");
    EXPECT_EQ(error("/begin MEASUREMENT m x UBYTE c 0 0 0 1 /end MEASUREMENT"),
              "long identifier must be a string");
    EXPECT_EQ(error("/begin MEASUREMENT m \"\" UBYTE c r 0 0 1 /end MEASUREMENT"),
              "resolution must be a number, got 'r'");
    EXPECT_EQ(error("/begin MEASUREMENT m \"\" UBYTE c 0 0 0 /end MEASUREMENT"), "missing upper limit");
}

TEST(Characteristic, ReadsFieldsAxesAndKeywords) {
    const Characteristic c =
        characteristicOf(R"(/begin CHARACTERISTIC map1 "a map" MAP 0x100000010 RL_MAP 0.5 CM
        -1 1 EXTENDED_LIMITS -2 2 ECU_ADDRESS_EXTENSION 2 BIT_MASK 0x0F BYTE_ORDER BIG_ENDIAN NUMBER 16
        STEP_SIZE 0.25 READ_ONLY PHYS_UNIT "bar" FORMAT "%4.1"
        /begin AXIS_DESCR STD_AXIS rpm CM_RPM 8 0 6000 AXIS_PTS_REF "ax" /end AXIS_DESCR
        /begin IF_DATA XCP /end IF_DATA
        /begin AXIS_DESCR COM_AXIS load NO_COMPU_METHOD 4 0 100 /end AXIS_DESCR
        /end CHARACTERISTIC)");
    EXPECT_EQ(c.name, "map1");
    EXPECT_EQ(c.longIdentifier, "a map");
    EXPECT_EQ(c.type, CharacteristicType::Map);
    EXPECT_EQ(c.address, 16u);  // 2^32 + 16 keeps its low 32 bits
    EXPECT_EQ(c.deposit, "RL_MAP");
    EXPECT_EQ(c.maxDiff, 0.5);
    EXPECT_EQ(c.conversion, "CM");
    EXPECT_EQ(c.lowerLimit, -1);
    EXPECT_EQ(c.upperLimit, 1);
    EXPECT_EQ(c.extendedLimits, (std::pair<double, double>{-2, 2}));
    EXPECT_EQ(c.ecuAddressExtension, 2);
    EXPECT_EQ(c.bitMask, 0x0Fu);
    EXPECT_EQ(c.byteOrder, ByteOrder::MsbLast);
    EXPECT_EQ(c.elementCount, 16u);
    EXPECT_EQ(c.stepSize, 0.25);
    EXPECT_TRUE(c.readOnly);
    EXPECT_EQ(c.physUnit, "bar");
    EXPECT_EQ(c.format, "%4.1");
    ASSERT_EQ(c.axisDescrs.size(), 2u);
    EXPECT_EQ(c.axisDescrs[0].attribute, "STD_AXIS");
    EXPECT_EQ(c.axisDescrs[0].inputQuantity, "rpm");
    EXPECT_EQ(c.axisDescrs[0].conversion, "CM_RPM");
    EXPECT_EQ(c.axisDescrs[0].maxAxisPoints, 8);
    EXPECT_EQ(c.axisDescrs[0].upperLimit, 6000);
    EXPECT_EQ(c.axisDescrs[0].axisPtsRef, "ax");
    EXPECT_EQ(c.axisDescrs[1].attribute, "COM_AXIS");
    EXPECT_EQ(c.axisDescrs[1].axisPtsRef, "");

    const Characteristic v = characteristicOf(
        "/begin CHARACTERISTIC v \"\" VALUE 0x10 RL 0 CM 0 1 EXTENDED_LIMITS 1 x NUMBER x /end "
        "CHARACTERISTIC");
    EXPECT_FALSE(v.extendedLimits);
    EXPECT_EQ(v.elementCount, 1u);
    EXPECT_FALSE(v.stepSize);
    EXPECT_FALSE(v.readOnly);
    EXPECT_EQ(v.ecuAddressExtension, 0);
    EXPECT_EQ(characteristicOf("/begin CHARACTERISTIC v \"\" VAL_BLK 0 RL 0 CM 0 1 NUMBER 4 MATRIX_DIM 2 3 "
                               "/end CHARACTERISTIC")
                  .elementCount,
              6u);
}

TEST(Characteristic, BadObjectsAreSkippedWithTheirMessages) {
    const test::ModuleRead read = readModule(R"(/begin MODULE M
/begin CHARACTERISTIC neg "" VALUE -4 RL 0 CM 0 1 /end CHARACTERISTIC
/begin CHARACTERISTIC frac "" VALUE 1.5 RL 0 CM 0 1 /end CHARACTERISTIC
/begin CHARACTERISTIC cx "" CURVE_X 0 RL 0 CM 0 1 /end CHARACTERISTIC
/begin CHARACTERISTIC ax "" CURVE 0 RL 0 CM 0 1
  /begin AXIS_DESCR STD_AXIS x CM 2.5 0 1 /end AXIS_DESCR
/end CHARACTERISTIC
/begin CHARACTERISTIC word "" VALUE addr RL 0 CM 0 1 /end CHARACTERISTIC
/begin CHARACTERISTIC good "" ASCII 0 RL 0 CM 0 1 /end CHARACTERISTIC
/end MODULE)");
    EXPECT_EQ(read.warnings,
              (std::vector<std::string>{
                  "line 2: CHARACTERISTIC neg skipped: address must be a non-negative integer",
                  "line 3: CHARACTERISTIC frac skipped: address must be a non-negative integer",
                  "line 4: CHARACTERISTIC cx skipped: unknown characteristic type 'CURVE_X'",
                  "line 5: CHARACTERISTIC ax skipped: max axis points must be a non-negative integer",
                  "line 8: CHARACTERISTIC word skipped: address must be a number, got 'addr'",
              }));
    ASSERT_EQ(read.module.characteristics.size(), 1u);
    EXPECT_EQ(read.module.characteristics[0].type, CharacteristicType::Ascii);
}

TEST(AxisPts, ReadByTheModuleWalker) {
    const test::ModuleRead read = readModule(R"(/begin MODULE M
/begin AXIS_PTS ax1 "axis" 0x1000 rpm RL_AX 0.5 CM 0x10 0 6000 ECU_ADDRESS_EXTENSION 1 /end AXIS_PTS
/begin AXIS_PTS ax2 "" 4 rpm RL_AX 0 CM 8 0 1 /end AXIS_PTS
/begin AXIS_PTS neg "" -1 rpm RL_AX 0 CM 8 0 1 /end AXIS_PTS
/begin AXIS_PTS cnt "" 0 rpm RL_AX 0 CM -8 0 1 /end AXIS_PTS
/begin AXIS_PTS short "" 0 rpm RL_AX 0 CM 8 0 /end AXIS_PTS
/end MODULE)");
    EXPECT_EQ(read.warnings,
              (std::vector<std::string>{
                  "line 4: AXIS_PTS neg skipped: address must be a non-negative integer",
                  "line 5: AXIS_PTS cnt skipped: max axis points must be a non-negative integer",
                  "line 6: AXIS_PTS short skipped: missing upper limit",
              }));
    ASSERT_EQ(read.module.axisPts.size(), 2u);
    const AxisPts& a = read.module.axisPts[0];
    EXPECT_EQ(a.name, "ax1");
    EXPECT_EQ(a.longIdentifier, "axis");
    EXPECT_EQ(a.address, 0x1000u);
    EXPECT_EQ(a.inputQuantity, "rpm");
    EXPECT_EQ(a.deposit, "RL_AX");
    EXPECT_EQ(a.conversion, "CM");
    EXPECT_EQ(a.maxAxisPoints, 16);
    EXPECT_EQ(a.lowerLimit, 0);
    EXPECT_EQ(a.upperLimit, 6000);
    EXPECT_EQ(a.ecuAddressExtension, 1);
    EXPECT_EQ(read.module.axisPts[1].ecuAddressExtension, 0);
    EXPECT_EQ(read.module.findAxisPts("ax2"), &read.module.axisPts[1]);
}

}  // namespace
}  // namespace vk::a2l
