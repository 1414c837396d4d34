#include "a2l/data_types.h"

#include <gtest/gtest.h>

#include <string>

#include "a2l/object_error.h"

namespace vk::a2l {
namespace {

TEST(DataTypes, KeywordsMapBothWaysWithTheirProperties) {
    struct Row {
        std::string_view keyword;
        std::uint32_t size;
        bool isSigned;
        bool isFloat;
    };
    const Row rows[] = {
        {"UBYTE", 1, false, false},       {"SBYTE", 1, true, false},        {"UWORD", 2, false, false},
        {"SWORD", 2, true, false},        {"ULONG", 4, false, false},       {"SLONG", 4, true, false},
        {"A_UINT64", 8, false, false},    {"A_INT64", 8, true, false},      {"FLOAT16_IEEE", 2, false, true},
        {"FLOAT32_IEEE", 4, false, true}, {"FLOAT64_IEEE", 8, false, true},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const DataType type = parseDataType(rows[i].keyword);
        EXPECT_EQ(static_cast<std::size_t>(type), i);
        EXPECT_EQ(dataTypeName(type), rows[i].keyword);
        EXPECT_EQ(dataTypeSize(type), rows[i].size) << rows[i].keyword;
        EXPECT_EQ(isSigned(type), rows[i].isSigned) << rows[i].keyword;
        EXPECT_EQ(isFloat(type), rows[i].isFloat) << rows[i].keyword;
    }
}

TEST(DataTypes, OutOfRangeValues) {
    const auto beyond = static_cast<DataType>(11);
    EXPECT_EQ(dataTypeSize(beyond), 1u);
    EXPECT_EQ(dataTypeName(beyond), "?");
    EXPECT_FALSE(isSigned(beyond));
    EXPECT_FALSE(isFloat(static_cast<DataType>(255)));
}

std::string rejected(std::string_view keyword, bool conversion) {
    try {
        if (conversion) {
            (void)parseConversionType(keyword);
        } else {
            (void)parseDataType(keyword);
        }
    } catch (const ObjectError& e) {
        return e.message;
    }
    return "";
}

TEST(DataTypes, UnknownKeywordsAreObjectErrors) {
    EXPECT_EQ(rejected("ubyte", false), "unknown data type 'ubyte'");
    EXPECT_EQ(rejected("FLOAT16", false), "unknown data type 'FLOAT16'");
    EXPECT_EQ(rejected("", false), "unknown data type ''");
    EXPECT_EQ(rejected("linear", true), "unknown conversion type 'linear'");
    EXPECT_EQ(rejected("TAB_VERB ", true), "unknown conversion type 'TAB_VERB '");
}

TEST(ConversionTypes, SevenKeywordsFromOne) {
    const std::string_view keywords[] = {"IDENTICAL",  "LINEAR",   "RAT_FUNC", "TAB_INTP",
                                         "TAB_NOINTP", "TAB_VERB", "FORM"};
    for (std::size_t i = 0; i < std::size(keywords); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(parseConversionType(keywords[i])), i + 1);
    }
}

}  // namespace
}  // namespace vk::a2l
