#include "a2l/field_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model_test_support.h"

namespace vk::a2l {
namespace {

using test::firstBlock;
using test::objectErrorOf;

TEST(FieldReader, ReadsWordsStringsAndNumbersInOrder) {
    const Block b = firstBlock("/begin B M \"a\\tb\" 0x10 /end B");
    FieldReader reader(b);
    EXPECT_EQ(reader.word("name"), "M");
    EXPECT_EQ(reader.string("long identifier"), "a\tb");
    EXPECT_EQ(reader.word("x"), "0x10");  // a number read as a word keeps its text
    EXPECT_EQ(reader.index, 3u);
    EXPECT_EQ(objectErrorOf([&] { reader.number("upper limit"); }), "missing upper limit");
}

TEST(FieldReader, KindMessagesNameTheFieldAndConsumeTheToken) {
    const Block b = firstBlock("/begin B \"q\\\"x\" UBYTE \"raw\\n\" 7 7 /end B");
    FieldReader reader(b);
    EXPECT_EQ(objectErrorOf([&] { reader.word("name"); }), "name must not be a string");
    EXPECT_EQ(objectErrorOf([&] { reader.number("limit"); }), "limit must be a number, got 'UBYTE'");
    EXPECT_EQ(objectErrorOf([&] { reader.number("limit"); }), "limit must be a number, got 'raw\\n'");
    EXPECT_EQ(objectErrorOf([&] { reader.string("format"); }), "format must be a string");
    EXPECT_EQ(reader.index, 4u);
    EXPECT_EQ(reader.number("n"), 7);
}

TEST(FieldReader, CountsAreWholeNonNegativeAndKeepTheirLowBits) {
    const Block good = firstBlock("/begin B 0 3 0x10 -0 300 70000 1e10 /end B");
    FieldReader reader(good);
    EXPECT_EQ(reader.count<std::uint16_t>("c"), 0);
    EXPECT_EQ(reader.count<std::uint8_t>("c"), 3);
    EXPECT_EQ(reader.count<std::uint16_t>("c"), 16);
    EXPECT_EQ(reader.count<std::uint16_t>("c"), 0);
    EXPECT_EQ(reader.count<std::uint8_t>("c"), 44);
    EXPECT_EQ(reader.count<std::uint16_t>("c"), 4464);
    EXPECT_EQ(reader.count<std::uint16_t>("c"), 0);

    const Block bad = firstBlock("/begin B -1 2.5 nan /end B");
    FieldReader rejecting(bad);
    EXPECT_EQ(objectErrorOf([&] { rejecting.count<std::uint16_t>("MAX_DTO"); }),
              "MAX_DTO must be a non-negative integer");
    EXPECT_EQ(objectErrorOf([&] { rejecting.count<std::uint8_t>("MAX_CTO"); }),
              "MAX_CTO must be a non-negative integer");
    EXPECT_EQ(objectErrorOf([&] { rejecting.count<std::uint8_t>("MAX_CTO"); }),
              "MAX_CTO must be a number, got 'nan'");
}

TEST(KeywordSearch, FirstMatchFromTheStartOnly) {
    const Block b = firstBlock("/begin B K w K 5 \"ECU_ADDRESS\" 1 L /end B");
    EXPECT_EQ(indexAfterKeyword(b, 0, "K"), 1u);
    EXPECT_EQ(indexAfterKeyword(b, 1, "K"), 3u);
    EXPECT_EQ(indexAfterKeyword(b, 0, "L"), b.tokens.size());
    EXPECT_EQ(indexAfterKeyword(b, b.tokens.size(), "L"), kNoIndex);
    EXPECT_EQ(indexAfterKeyword(b, 0, "ECU_ADDRESS"), kNoIndex);
    EXPECT_EQ(indexAfterKeyword(b, 0, "5"), kNoIndex);
    // A later K followed by a number is never looked at.
    EXPECT_FALSE(numberAfterKeyword(b, 0, "K").has_value());
    EXPECT_EQ(numberAfterKeyword(b, 1, "K"), 5.0);
    EXPECT_FALSE(numberAfterKeyword(b, 0, "L").has_value());
    EXPECT_FALSE(numberAfterKeyword(b, 0, "ECU_ADDRESS").has_value());
}

TEST(KeywordSearch, IntegersKeepTheirLow32Bits) {
    const Block b = firstBlock("/begin B A -1 B 4294967297.9 C 1e19 D x E 0x80000000 /end B");
    EXPECT_EQ(intAfterKeyword(b, "A"), 4294967295u);
    EXPECT_EQ(intAfterKeyword(b, "B"), 1u);
    EXPECT_EQ(intAfterKeyword(b, "C"), 0u);
    EXPECT_FALSE(intAfterKeyword(b, "D").has_value());
    EXPECT_EQ(intAfterKeyword(b, "E"), 0x80000000u);
    EXPECT_FALSE(intAfterKeyword(b, "F").has_value());
}

TEST(KeywordSearch, TextAfterKeyword) {
    const Block b = firstBlock("/begin B FORMAT \"%8.3\\t\" UNIT 0x10 LAST /end B");
    EXPECT_EQ(textAfterKeyword(b, 0, "FORMAT"), "%8.3\t");
    EXPECT_EQ(textAfterKeyword(b, 0, "UNIT"), "0x10");
    EXPECT_EQ(textAfterKeyword(b, 0, "LAST"), "");
    EXPECT_EQ(textAfterKeyword(b, 2, "FORMAT"), "");
}

TEST(KeywordSearch, ByteOrderWordsKeepTheirHistoricMeaning) {
    struct Case {
        std::string_view text;
        std::optional<ByteOrder> order;
    };
    const Case cases[] = {
        {"/begin B BYTE_ORDER MSB_LAST /end B", ByteOrder::MsbLast},
        {"/begin B BYTE_ORDER BIG_ENDIAN /end B", ByteOrder::MsbLast},
        {"/begin B BYTE_ORDER MSB_FIRST /end B", ByteOrder::MsbFirst},
        {"/begin B BYTE_ORDER LITTLE_ENDIAN /end B", ByteOrder::MsbFirst},
        {"/begin B BYTE_ORDER \"MSB_FIRST\" /end B", ByteOrder::MsbFirst},
        {"/begin B BYTE_ORDER msb_last /end B", std::nullopt},
        {"/begin B BYTE_ORDER MSB_FIRST_MSW_LAST /end B", std::nullopt},
        {"/begin B BYTE_ORDER /end B", std::nullopt},
        {"/begin B /end B", std::nullopt},
    };
    for (const Case& c : cases) {
        const Block b = firstBlock(c.text);
        EXPECT_EQ(readByteOrder(FieldReader(b)), c.order) << c.text;
    }
    const Block b = firstBlock("/begin B BYTE_ORDER MSB_FIRST x /end B");
    FieldReader reader(b);
    reader.index = 1;
    EXPECT_FALSE(readByteOrder(reader).has_value());
}

TEST(DaqEvents, OwnTokensFirstThenKnownChildrenInOrder) {
    const Block b = firstBlock(
        "/begin IF_DATA XCP EVENT 7 EVENT x EVENT \"3\""
        "  /begin DAQ_EVENT /begin FIXED_EVENT_LIST EVENT 1 EVENT 2 /end FIXED_EVENT_LIST /end DAQ_EVENT"
        "  /begin OTHER EVENT 9 /end OTHER"
        "  /begin IF_DATA EVENT -1 EVENT 65537 EVENT 2147483648 EVENT 1 /end IF_DATA"
        "  EVENT"
        " /end IF_DATA");
    std::vector<std::uint16_t> events{42};
    collectDaqEvents(b, events);
    EXPECT_EQ(events, (std::vector<std::uint16_t>{42, 7, 1, 2, 65535, 1, 0, 1}));
}

}  // namespace
}  // namespace vk::a2l
