// The source index: which objects are recorded, the exact bytes their spans
// cover, addresses as the 32-bit field holds them, and the blocks passed over.
#include "a2l/source_index.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using vk::a2l::ObjectKind;
using vk::a2l::SourceIndex;
using vk::a2l::TokenSpan;

SourceIndex indexOf(std::string_view text) {
    auto result = vk::a2l::buildSourceIndex(text);
    EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().message());
    return result.ok() ? result.value() : SourceIndex{};
}

std::string spanText(std::string_view text, const TokenSpan& span) {
    if (!span.present()) return "<absent>";
    return std::string(text.substr(static_cast<std::size_t>(span.offset), span.length));
}

void expectAbsent(const TokenSpan& span) {
    EXPECT_EQ(span.offset, -1);
    EXPECT_EQ(span.length, 0u);
}

TEST(SourceIndex, TextWithoutBlocksIsEmpty) {
    for (std::string_view text : {"", "ASAP2_VERSION 1 61 // nothing else", "\xEF\xBB\xBF"}) {
        SourceIndex index = indexOf(text);
        EXPECT_TRUE(index.objects.empty());
        EXPECT_TRUE(index.definitions.empty());
        EXPECT_EQ(index.moduleName, "");
        EXPECT_EQ(index.moduleEnd, ~std::uint64_t{0});
    }
}

TEST(SourceIndex, FullMeasurementRecordsEverySpan) {
    const std::string text =
        "/begin MEASUREMENT m \"\" UBYTE CM 0 0 0 255 ECU_ADDRESS 0x1000 /end MEASUREMENT";
    SourceIndex index = indexOf(text);
    ASSERT_EQ(index.objects.size(), 1u);
    const SourceIndex::Object& m = index.objects[0];
    EXPECT_EQ(m.kind, ObjectKind::Measurement);
    EXPECT_EQ(m.name, "m");
    EXPECT_EQ(m.longIdentifier, "");
    EXPECT_EQ(m.address, 0x1000u);
    EXPECT_EQ(m.addressToken.offset, static_cast<std::int64_t>(text.find("0x1000")));
    EXPECT_EQ(m.addressToken.length, 6u);
    EXPECT_EQ(m.dataTypeOrDeposit, "UBYTE");
    EXPECT_EQ(spanText(text, m.dataTypeToken), "UBYTE");
    EXPECT_EQ(m.conversion, "CM");
    EXPECT_EQ(spanText(text, m.conversionToken), "CM");
    // The third 0 of "0 0 0" is the lower limit.
    EXPECT_EQ(m.lowerLimitToken.offset, static_cast<std::int64_t>(text.find("0 255")));
    EXPECT_EQ(spanText(text, m.upperLimitToken), "255");
    EXPECT_EQ(m.characteristicType, "");
    EXPECT_EQ(m.blockBegin, 0u);
    EXPECT_EQ(m.blockEnd, text.size());
}

TEST(SourceIndex, ShortMeasurementKeepsOnlyItsDataType) {
    const std::string text = "/begin MEASUREMENT m \"long\" UBYTE /end MEASUREMENT";
    SourceIndex index = indexOf(text);
    ASSERT_EQ(index.objects.size(), 1u);
    const SourceIndex::Object& m = index.objects[0];
    EXPECT_EQ(m.longIdentifier, "long");
    EXPECT_EQ(spanText(text, m.dataTypeToken), "UBYTE");
    EXPECT_EQ(m.conversion, "");
    expectAbsent(m.conversionToken);
    expectAbsent(m.lowerLimitToken);
    expectAbsent(m.upperLimitToken);
    EXPECT_EQ(m.address, 0u);
    expectAbsent(m.addressToken);

    // Seven tokens: token 3 exists but the conversion is not taken.
    SourceIndex seven = indexOf("/begin MEASUREMENT m \"\" UBYTE CM 0 0 0 /end MEASUREMENT");
    ASSERT_EQ(seven.objects.size(), 1u);
    EXPECT_EQ(seven.objects[0].conversion, "");
    // Two tokens: not recorded at all.
    EXPECT_TRUE(indexOf("/begin MEASUREMENT m \"\" /end MEASUREMENT").objects.empty());
}

TEST(SourceIndex, EcuAddressSearch) {
    const std::string twice =
        "/begin MEASUREMENT m \"\" UBYTE CM 1 0 0 1 ECU_ADDRESS ECU_ADDRESS 0x20 /end MEASUREMENT";
    SourceIndex a = indexOf(twice);
    ASSERT_EQ(a.objects.size(), 1u);
    EXPECT_EQ(a.objects[0].address, 0x20u);
    EXPECT_EQ(spanText(twice, a.objects[0].addressToken), "0x20");

    SourceIndex quoted =
        indexOf("/begin MEASUREMENT m \"\" UBYTE CM 1 0 0 1 ECU_ADDRESS \"0x20\" /end MEASUREMENT");
    ASSERT_EQ(quoted.objects.size(), 1u);
    expectAbsent(quoted.objects[0].addressToken);

    // Tokens 0 to 2 are never taken for the keyword, even with a number after them.
    SourceIndex early = indexOf("/begin MEASUREMENT m \"\" ECU_ADDRESS 0x10 x /end MEASUREMENT");
    ASSERT_EQ(early.objects.size(), 1u);
    expectAbsent(early.objects[0].addressToken);
    SourceIndex fourth = indexOf("/begin MEASUREMENT m \"\" UBYTE ECU_ADDRESS 0x10 /end MEASUREMENT");
    ASSERT_EQ(fourth.objects.size(), 1u);
    EXPECT_EQ(fourth.objects[0].address, 0x10u);
}

TEST(SourceIndex, CharacteristicAndAxisPts) {
    const std::string text =
        "/begin CHARACTERISTIC c \"x\" VALUE 4096 RL 0 CM -10 10 /end CHARACTERISTIC\n"
        "/begin CHARACTERISTIC eight \"\" MAP 0x10 RL 0 CM -10 /end CHARACTERISTIC\n"
        "/begin CHARACTERISTIC word \"\" VALUE addr RL 0 CM 0 1 /end CHARACTERISTIC\n"
        "/begin CHARACTERISTIC str \"\" VALUE \"16\" RL 0 CM 0 1 /end CHARACTERISTIC\n"
        "/begin CHARACTERISTIC four \"\" VALUE 16 /end CHARACTERISTIC\n"
        "/begin AXIS_PTS ax \"\" 0x2000 NO_INPUT_QUANTITY RL_AX 0 CM 8 0 7 /end AXIS_PTS\n"
        "/begin AXIS_PTS bad \"\" NO_INPUT_QUANTITY 0x2000 RL_AX /end AXIS_PTS\n";
    SourceIndex index = indexOf(text);
    ASSERT_EQ(index.objects.size(), 3u);

    const SourceIndex::Object& c = index.objects[0];
    EXPECT_EQ(c.kind, ObjectKind::Characteristic);
    EXPECT_EQ(c.characteristicType, "VALUE");
    EXPECT_EQ(c.address, 4096u);
    EXPECT_EQ(spanText(text, c.addressToken), "4096");
    EXPECT_EQ(c.dataTypeOrDeposit, "RL");
    expectAbsent(c.dataTypeToken);
    EXPECT_EQ(c.conversion, "CM");
    EXPECT_EQ(spanText(text, c.lowerLimitToken), "-10");
    EXPECT_EQ(spanText(text, c.upperLimitToken), "10");

    const SourceIndex::Object& eight = index.objects[1];
    EXPECT_EQ(eight.name, "eight");
    EXPECT_EQ(eight.characteristicType, "MAP");
    EXPECT_EQ(eight.conversion, "");
    expectAbsent(eight.conversionToken);
    expectAbsent(eight.upperLimitToken);

    const SourceIndex::Object& ax = index.objects[2];
    EXPECT_EQ(ax.kind, ObjectKind::AxisPts);
    EXPECT_EQ(ax.address, 0x2000u);
    EXPECT_EQ(ax.dataTypeOrDeposit, "RL_AX");
    EXPECT_EQ(ax.characteristicType, "");
    EXPECT_EQ(ax.conversion, "");
    expectAbsent(ax.conversionToken);
    expectAbsent(ax.dataTypeToken);
}

TEST(SourceIndex, IfDataIsSkippedAtAnyDepthOtherBlocksAreNot) {
    const std::string text =
        "/begin PROJECT p \"\"\n"
        " /begin MODULE first \"\"\n"
        "  /begin IF_DATA OTHER_TOOL\n"
        "   /begin MEASUREMENT hidden1 \"\" UBYTE /end MEASUREMENT\n"
        "   /begin SOURCE s /begin MEASUREMENT hidden2 \"\" UBYTE /end MEASUREMENT /end SOURCE\n"
        "  /end IF_DATA\n"
        "  /begin GROUP g \"\" /begin MEASUREMENT grouped \"\" UBYTE /end MEASUREMENT /end GROUP\n"
        "  /begin MEASUREMENT m \"\" UBYTE /begin IF_DATA XCP /begin MEASUREMENT inner \"\" UBYTE "
        "/end MEASUREMENT /end IF_DATA /end MEASUREMENT\n"
        " /end MODULE\n"
        " /begin MODULE second \"\"\n"
        "  /begin MEASUREMENT other \"\" UBYTE /end MEASUREMENT\n"
        " /end MODULE\n"
        "/end PROJECT\n";
    SourceIndex index = indexOf(text);
    ASSERT_EQ(index.objects.size(), 3u);
    EXPECT_EQ(index.objects[0].name, "grouped");
    EXPECT_EQ(index.objects[1].name, "m");
    EXPECT_EQ(index.objects[2].name, "other");
    EXPECT_EQ(index.moduleName, "first");
    EXPECT_EQ(index.moduleEnd, text.find("/end MODULE"));
}

TEST(SourceIndex, DefinitionsAndIncludesInTextOrder) {
    const std::string text =
        "/begin MODULE\n"
        "/begin COMPU_METHOD cm \"\" IDENTICAL \"%d\" \"\" /end COMPU_METHOD\n"
        "/begin RECORD_LAYOUT /end RECORD_LAYOUT\n"
        "/begin COMPU_VTAB vt \"\" TAB_VERB 0 /end COMPU_VTAB\n"
        "/begin GROUP g /begin COMPU_VTAB_RANGE vr \"\" 0 /end COMPU_VTAB_RANGE /end GROUP\n"
        "/begin RECORD_LAYOUT rl FNC_VALUES 1 UBYTE ROW_DIR DIRECT /end RECORD_LAYOUT\n"
        "/end MODULE";
    SourceIndex index = indexOf(text);
    EXPECT_EQ(index.moduleName, "");  // a MODULE without tokens
    EXPECT_EQ(index.moduleEnd, text.rfind("/end MODULE"));
    ASSERT_EQ(index.definitions.size(), 4u);
    EXPECT_EQ(index.definitions[0].keyword, "COMPU_METHOD");
    EXPECT_EQ(index.definitions[0].name, "cm");
    EXPECT_EQ(index.definitions[1].keyword, "COMPU_VTAB");
    EXPECT_EQ(index.definitions[2].keyword, "COMPU_VTAB_RANGE");
    EXPECT_EQ(index.definitions[3].name, "rl");
    const std::size_t begin = text.find("/begin RECORD_LAYOUT rl");
    EXPECT_EQ(index.definitions[3].blockBegin, begin);
    EXPECT_EQ(index.definitions[3].blockEnd, text.find("RECORD_LAYOUT\n/end MODULE") + 13);
    EXPECT_TRUE(index.includes.empty());

    // Quoted and unquoted file names, at any depth; "/ include" is no keyword.
    const std::string including =
        "/include first.a2l /begin MODULE m\n"
        "/include \"meas timing.a2l\" /begin GROUP g /include ..\\calib/maps.a2l /end GROUP\n"
        "/ include no.a2l /end MODULE /include last.a2l";
    index = indexOf(including);
    ASSERT_EQ(index.includes.size(), 4u);
    EXPECT_EQ(index.includes[0].file, "first.a2l");
    EXPECT_EQ(index.includes[0].offset, 0u);
    EXPECT_EQ(index.includes[1].file, "meas timing.a2l");
    EXPECT_EQ(index.includes[1].offset, including.find("/include \"meas"));
    EXPECT_EQ(index.includes[2].file, "..\\calib/maps.a2l");
    EXPECT_EQ(index.includes[3].file, "last.a2l");
}

TEST(SourceIndex, ByteOrderMarkCountsInOffsets) {
    const std::string plain = "/begin CHARACTERISTIC c \"\" VALUE 0x10 RL 0 CM 0 1 /end CHARACTERISTIC";
    SourceIndex a = indexOf(plain);
    SourceIndex b = indexOf("\xEF\xBB\xBF" + plain);
    ASSERT_EQ(a.objects.size(), 1u);
    ASSERT_EQ(b.objects.size(), 1u);
    EXPECT_EQ(b.objects[0].addressToken.offset, a.objects[0].addressToken.offset + 3);
    EXPECT_EQ(b.objects[0].blockBegin, a.objects[0].blockBegin + 3);
    EXPECT_EQ(b.objects[0].blockEnd, a.objects[0].blockEnd + 3);
}

TEST(SourceIndex, AddressesAsTheThirtyTwoBitFieldHoldsThem) {
    struct Case {
        const char* token;
        std::uint32_t address;
    };
    const Case cases[] = {
        {"-1", 0xFFFFFFFFu},
        {"0x123456789", 0x23456789u},
        {"4096.9", 4096u},
        {"0x7FFFFFFFFFFFFFFF", 0u},  // rounds to 2^63 as a double: outside the signed range
        {"0xFFFFFFFFFFFFFFFF", 0u},
        {"1e30", 0u},
        {"-4294967297", 0xFFFFFFFFu},
    };
    for (const Case& c : cases) {
        const std::string text =
            std::string("/begin AXIS_PTS a \"\" ") + c.token + " IN RL 0 CM 1 0 1 /end AXIS_PTS";
        SourceIndex index = indexOf(text);
        ASSERT_EQ(index.objects.size(), 1u) << c.token;
        EXPECT_EQ(index.objects[0].address, c.address) << c.token;
        EXPECT_EQ(spanText(text, index.objects[0].addressToken), c.token);
    }
}

TEST(SourceIndex, LexicalErrorFailsTheWholeScan) {
    auto result = vk::a2l::scanSource("/begin MEASUREMENT m \"\" UBYTE /end MEASUREMENT\n\"open");
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().message(), "A2L line 2: unterminated string");
    EXPECT_EQ(result.error().code, vk::ErrorCode::InvalidArgument);

    auto nesting = vk::a2l::scanSource("/begin A\n/end B");
    ASSERT_FALSE(nesting.ok());
    EXPECT_EQ(nesting.error().message(), "A2L line 2: /end B does not match /begin A (line 1)");
}

}  // namespace
