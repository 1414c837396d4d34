#include "a2l/compu.h"

#include <gtest/gtest.h>

#include "a2l/record_layout.h"
#include "model_test_support.h"

namespace vk::a2l {
namespace {

using test::firstBlock;
using test::objectErrorOf;
using test::readModule;

std::string methodError(std::string_view literal) {
    const Block block = firstBlock(literal);
    return objectErrorOf([&] { parseCompuMethod(block); });
}

TEST(CompuMethod, ReadsFieldsAndOptionalKeywords) {
    const Block block = firstBlock(R"(/begin COMPU_METHOD CM_Lin "speed \"raw\"" LINEAR "%6.2" "km/h"
        COEFFS_LINEAR 0.5 -3 STATUS_STRING_REF ST REF_UNIT u /end COMPU_METHOD)");
    const CompuMethod m = parseCompuMethod(block);
    EXPECT_EQ(m.name, "CM_Lin");
    EXPECT_EQ(m.longIdentifier, "speed \"raw\"");
    EXPECT_EQ(m.conversionType, ConversionType::Linear);
    EXPECT_EQ(m.format, "%6.2");
    EXPECT_EQ(m.unit, "km/h");
    EXPECT_EQ(m.coeffsLinear[0], 0.5);
    EXPECT_EQ(m.coeffsLinear[1], -3);
    EXPECT_EQ(m.coeffs, (std::array<double, 6>{0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(m.statusStringRef, "ST");
    EXPECT_EQ(m.compuTabRef, "");

    const CompuMethod rat = parseCompuMethod(
        firstBlock("/begin COMPU_METHOD R \"\" RAT_FUNC \"%d\" \"\" COEFFS 1 2 3 4 5 6 /end COMPU_METHOD"));
    EXPECT_EQ(rat.coeffs, (std::array<double, 6>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(rat.coeffsLinear, (std::array<double, 2>{1, 0}));

    const CompuMethod form = parseCompuMethod(firstBlock(R"(/begin COMPU_METHOD F "" FORM "%d" ""
        /begin FORMULA "X1*2" FORMULA_INV "X1/2" /end FORMULA /end COMPU_METHOD)"));
    EXPECT_EQ(form.formula, "X1*2");
    EXPECT_EQ(form.formulaInv, "X1/2");

    const CompuMethod verb = parseCompuMethod(
        firstBlock("/begin COMPU_METHOD V \"\" TAB_VERB \"%d\" \"\" COMPU_TAB_REF \"VT\" /end COMPU_METHOD"));
    EXPECT_EQ(verb.compuTabRef, "VT");
}

TEST(CompuMethod, ChecksRunInOrderWithTheirMessages) {
    // A short COEFFS_LINEAR is reported before the missing-coefficients check.
    EXPECT_EQ(methodError("/begin COMPU_METHOD C \"\" LINEAR \"%d\" \"\" COEFFS_LINEAR 1 /end COMPU_METHOD"),
              "COEFFS_LINEAR needs 2 numbers");
    EXPECT_EQ(
        methodError("/begin COMPU_METHOD C \"\" LINEAR \"%d\" \"\" COEFFS_LINEAR 1 x /end COMPU_METHOD"),
        "COEFFS_LINEAR needs 2 numbers");
    EXPECT_EQ(methodError("/begin COMPU_METHOD C \"\" IDENTICAL \"%d\" \"\" COEFFS 1 2 3 /end COMPU_METHOD"),
              "COEFFS needs 6 numbers");
    EXPECT_EQ(methodError("/begin COMPU_METHOD C \"\" LINEAR \"%d\" \"\" /end COMPU_METHOD"),
              "LINEAR without COEFFS_LINEAR");
    EXPECT_EQ(
        methodError("/begin COMPU_METHOD C \"\" RAT_FUNC \"%d\" \"\" COEFFS_LINEAR 1 2 /end COMPU_METHOD"),
        "RAT_FUNC without COEFFS");
    EXPECT_EQ(
        methodError("/begin COMPU_METHOD C \"\" TAB_VERB \"%d\" \"\" COMPU_TAB_REF \"\" /end COMPU_METHOD"),
        "table conversion without COMPU_TAB_REF");
    EXPECT_EQ(methodError("/begin COMPU_METHOD C \"\" TAB_INTP \"%d\" \"\" COMPU_TAB_REF /end COMPU_METHOD"),
              "table conversion without COMPU_TAB_REF");
    EXPECT_EQ(methodError("/begin COMPU_METHOD C \"\" FORM \"%d\" \"\" /end COMPU_METHOD"),
              "FORM without FORMULA");
    EXPECT_EQ(
        methodError(
            "/begin COMPU_METHOD C \"\" FORM \"%d\" \"\" /begin FORMULA \"\" /end FORMULA /end COMPU_METHOD"),
        "FORM without FORMULA");
    EXPECT_EQ(methodError("/begin COMPU_METHOD C \"\" IDENTICAL \"%d\" \"\" /begin FORMULA X /end FORMULA "
                          "/end COMPU_METHOD"),
              "formula must be a string");
    EXPECT_EQ(
        methodError("/begin COMPU_METHOD C \"\" LINEAR \"%d\" \"\" \"COEFFS_LINEAR\" 1 2 /end COMPU_METHOD"),
        "LINEAR without COEFFS_LINEAR");
    EXPECT_EQ(methodError("/begin COMPU_METHOD C \"\" IDENTICAL \"%d\" COEFFS_LINEAR /end COMPU_METHOD"),
              "unit must be a string");
    EXPECT_EQ(methodError("/begin COMPU_METHOD C \"\" LINEARISH \"%d\" \"\" /end COMPU_METHOD"),
              "unknown conversion type 'LINEARISH'");
    EXPECT_EQ(methodError("/begin COMPU_METHOD C \"\" IDENTICAL \"%d\" /end COMPU_METHOD"), "missing unit");
}

TEST(CompuVtab, ReadsRowsAndDefault) {
    const CompuVtab vtab = parseCompuVtab(firstBlock(R"(/begin COMPU_VTAB VT "gear" ANY_WORD 2
        0 "N\tone" 1 "first" DEFAULT_VALUE "?" /end COMPU_VTAB)"),
                                          false);
    EXPECT_EQ(vtab.name, "VT");
    ASSERT_EQ(vtab.entries.size(), 2u);
    EXPECT_EQ(vtab.entries[0].outVal, "N\tone");
    EXPECT_EQ(vtab.entries[1].inVal, 1);
    EXPECT_EQ(vtab.entries[1].inValMax, 1);
    EXPECT_EQ(vtab.defaultValue, "?");

    const CompuVtab range = parseCompuVtab(
        firstBlock("/begin COMPU_VTAB_RANGE R \"\" 2 0 9.5 \"low\" 10 20 \"high\" /end COMPU_VTAB_RANGE"),
        true);
    ASSERT_EQ(range.entries.size(), 2u);
    EXPECT_EQ(range.entries[0].inValMax, 9.5);
    EXPECT_EQ(range.entries[1].inVal, 10);
    EXPECT_EQ(range.entries[1].inValMax, 20);
    EXPECT_EQ(range.entries[1].outVal, "high");

    const CompuVtab empty = parseCompuVtab(
        firstBlock("/begin COMPU_VTAB E \"\" TAB_VERB 0 DEFAULT_VALUE none /end COMPU_VTAB"), false);
    EXPECT_TRUE(empty.entries.empty());
    EXPECT_EQ(empty.defaultValue, "none");
}

TEST(CompuVtab, BadCountsAndRowsSkipTheTableWithWarnings) {
    const test::ModuleRead read = readModule(R"(/begin MODULE M
/begin COMPU_VTAB A "" TAB_VERB 2.5 0 "x" /end COMPU_VTAB
/begin COMPU_VTAB B "" TAB_VERB -1 /end COMPU_VTAB
/begin COMPU_VTAB C "" TAB_VERB 3 0 "a" 1 "b" /end COMPU_VTAB
/begin COMPU_VTAB_RANGE D "" 1 0 "a" /end COMPU_VTAB_RANGE
/begin COMPU_VTAB_RANGE E "" 4e9 0 1 "a" /end COMPU_VTAB_RANGE
/begin COMPU_VTAB F "" TAB_VERB 4e9 0 "a" 1 "b" /end COMPU_VTAB
/begin COMPU_VTAB G "" TAB_VERB 1 0 "ok" /end COMPU_VTAB
/end MODULE)");
    EXPECT_EQ(read.warnings,
              (std::vector<std::string>{
                  "line 2: COMPU_VTAB A skipped: number of entries must be a non-negative integer",
                  "line 3: COMPU_VTAB B skipped: number of entries must be a non-negative integer",
                  "line 4: COMPU_VTAB C skipped: missing InVal",
                  "line 5: COMPU_VTAB_RANGE D skipped: InValMax must be a number, got 'a'",
                  "line 6: COMPU_VTAB_RANGE E skipped: missing InVal",
                  "line 7: COMPU_VTAB F skipped: missing InVal",
              }));
    ASSERT_EQ(read.module.compuVtabs.size(), 1u);
    EXPECT_EQ(read.module.compuVtabs[0].name, "G");
}

TEST(CompuTab, ReadsPairsAndNumericDefault) {
    const test::ModuleRead read = readModule(R"(/begin MODULE M
/begin COMPU_TAB T "" TAB_NOINTP 2 0 0.5 1 1.5 DEFAULT_VALUE_NUMERIC -1 /end COMPU_TAB
/begin COMPU_TAB U "" TAB_INTP 0 DEFAULT_VALUE_NUMERIC x DEFAULT_VALUE "no" /end COMPU_TAB
/begin COMPU_TAB V "" TAB_VERBOSE 0 /end COMPU_TAB
/begin COMPU_TAB W "" TAB_INTP 4e9 1 2 3 /end COMPU_TAB
/begin COMPU_TAB X "" TAB_INTP 1 1 "2" /end COMPU_TAB
/end MODULE)");
    EXPECT_EQ(read.warnings, (std::vector<std::string>{
                                 "line 4: COMPU_TAB V skipped: unknown conversion type 'TAB_VERBOSE'",
                                 "line 5: COMPU_TAB W skipped: missing OutVal",
                                 "line 6: COMPU_TAB X skipped: OutVal must be a number, got '2'",
                             }));
    ASSERT_EQ(read.module.compuTabs.size(), 2u);
    const CompuTab& t = read.module.compuTabs[0];
    EXPECT_EQ(t.conversionType, ConversionType::TabNoIntp);
    ASSERT_EQ(t.pairs.size(), 2u);
    EXPECT_EQ(t.pairs[1].inVal, 1);
    EXPECT_EQ(t.pairs[1].outVal, 1.5);
    EXPECT_EQ(t.defaultValueNumeric, -1);
    EXPECT_TRUE(read.module.compuTabs[1].pairs.empty());
    EXPECT_FALSE(read.module.compuTabs[1].defaultValueNumeric);
}

TEST(RecordLayout, ReadsItemsAndSkipsUnknownDataTypes) {
    const test::ModuleRead read = readModule(R"(/begin MODULE M
/begin RECORD_LAYOUT RL FNC_VALUES 1 UBYTE COLUMN_DIR DIRECT AXIS_PTS_X 3 SWORD INCR DIRECT
  NO_AXIS_PTS_X 0x2 ULONG FIX_NO_AXIS_PTS_X 70000 /end RECORD_LAYOUT
/begin RECORD_LAYOUT BAD FNC_VALUES 1 UINT8 /end RECORD_LAYOUT
/begin RECORD_LAYOUT SHORT AXIS_PTS_X X FLOAT32_IEEE FNC_VALUES 1 /end RECORD_LAYOUT
/begin RECORD_LAYOUT
/end RECORD_LAYOUT
/end MODULE)");
    EXPECT_EQ(read.warnings, (std::vector<std::string>{
                                 "line 4: RECORD_LAYOUT BAD skipped: unknown data type 'UINT8'",
                                 "line 6: RECORD_LAYOUT  skipped: missing name",
                             }));
    ASSERT_EQ(read.module.recordLayouts.size(), 2u);
    const RecordLayout& rl = read.module.recordLayouts[0];
    ASSERT_TRUE(rl.fncValues);
    EXPECT_EQ(rl.fncValues->position, 1);
    EXPECT_EQ(rl.fncValues->dataType, DataType::UByte);
    EXPECT_EQ(rl.fncValuesIndexMode, "COLUMN_DIR");
    ASSERT_TRUE(rl.axisPtsX);
    EXPECT_EQ(rl.axisPtsX->dataType, DataType::SWord);
    ASSERT_TRUE(rl.noAxisPtsX);
    EXPECT_EQ(rl.noAxisPtsX->position, 2);
    EXPECT_EQ(rl.fixNoAxisPtsX, 70000 % 65536);

    const RecordLayout& shortLayout = read.module.recordLayouts[1];
    EXPECT_FALSE(shortLayout.fncValues);  // a single token after it at the end of the block
    EXPECT_EQ(shortLayout.fncValuesIndexMode, "");
    ASSERT_TRUE(shortLayout.axisPtsX);
    EXPECT_EQ(shortLayout.axisPtsX->position, 0);  // a word in the position place
    EXPECT_EQ(shortLayout.axisPtsX->dataType, DataType::Float32Ieee);
    EXPECT_FALSE(shortLayout.fixNoAxisPtsX);
}

}  // namespace
}  // namespace vk::a2l
