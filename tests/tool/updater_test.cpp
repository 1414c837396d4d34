// The in-place updater on an A2L text written for update_before against the
// rebuilt update_after image: the exact output bytes, every report line, and the
// counters, in every variant of the fixture matrix.
#include "tool/updater.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "a2l/project.h"
#include "tests/tool/readelf_symbols.h"
#include "tests/tool/update_test_support.h"
#include "tool/a2l_datatype.h"
#include "tool/a2l_format.h"
#include "tool/generate.h"

namespace vk::tool {
namespace {

using testing::Image;

// The input text and the text the update must give, built side by side.
struct Texts {
    std::string in;
    std::string out;
    void both(const std::string& s) {
        in += s;
        out += s;
    }
    void differ(const std::string& before, const std::string& after) {
        in += before;
        out += after;
    }
};

void expectInvariant(const UpdateReport& r) {
    EXPECT_EQ(r.objects, r.addressesChanged + r.unchanged + r.notInElf.size());
}

std::string keywordOf(const Image& image, const std::string& name) {
    const vk::elf::Variable& v = image.leaf(name);
    const auto limits = a2lDatatypeFor(image.debug.types.at(static_cast<std::size_t>(v.type)), v.size);
    return limits ? std::string(limits->keyword) : "?";
}

// The function-local static that only the symbol table has: clang names it
// _start.ticks, gcc ticks.0.
vk::elf::Symbol localStatic(const Image& image) {
    for (const auto& s : vk::elf::readSymbols(image.elf))
        if (s.type == vk::elf::STT_OBJECT && s.name.find("ticks") != std::string::npos) return s;
    ADD_FAILURE() << "no symbol for ticks";
    return {};
}

// The warning for a name that leads to two addresses.
std::string ambiguous(const std::string& name, std::uint64_t written, std::uint64_t a, std::uint64_t b) {
    return name + ": address " + hexAddress(written) +
           " in the A2L, 2 variables of this name in the ELF at " + hexAddress(std::min(a, b)) + ", " +
           hexAddress(std::max(a, b)) + " (ambiguous, not changed - check)";
}

std::string measurement(const std::string& name, const std::string& type, const std::string& tail) {
    return "    /begin MEASUREMENT " + name + " \"\" " + type + " NO_COMPU_METHOD 0 0 0 255" + tail +
           " /end MEASUREMENT\r\n";
}

TEST(Update, RewritesOnlyStaleTokensAndReportsTheRest) {
    // The deprecated spellings mean the opposite of their names.
    const struct {
        const char* word;
        bool bigEndian;
    } byteOrders[] = {
        {"MSB_FIRST", true}, {"MSB_LAST", false}, {"BIG_ENDIAN", false}, {"LITTLE_ENDIAN", true}};
    std::size_t round = 0;
    for (const std::string& variant : testing::fixtureVariants("update_after", false)) {
        SCOPED_TRACE(variant);
        const auto& byteOrder = byteOrders[round++ % std::size(byteOrders)];
        const bool elfBigEndian =
            !testing::littleEndianByReadelf(testing::fixturePath("update_after", variant));
        const Image image = testing::loadImage("update_after", variant);
        const Image before = testing::loadImage("update_before", variant);
        auto addr = [&](const std::string& name) { return image.leaf(name).address; };
        auto stale = [&](const std::string& name) { return addr(name) + 0x100; };
        auto mask = [](const Image& i, const std::string& name) { return hexAddress(i.leaf(name).bitMask); };
        const std::string modeKeyword = keywordOf(image, "mode");
        const std::string trimKeyword = keywordOf(image, "trim");
        const vk::elf::Symbol local = localStatic(image);
        const std::uint64_t ticks = local.value;

        Texts t;
        t.both(
            "\xEF\xBB\xBF/* written for the image before */\r\nASAP2_VERSION 1 61\r\n/begin PROJECT p "
            "\"\"\r\n");
        t.both("  /begin MODULE m \"\"\r\n");
        t.both("    /begin MOD_COMMON \"\" BYTE_ORDER " + std::string(byteOrder.word) +
               " /end MOD_COMMON\r\n");
        t.both("    /include \"meas_timing.a2l\"\r\n    /include calib\\maps.a2l\r\n");
        t.both(
            "    /begin COMPU_METHOD CM_kilo \"\" LINEAR \"%8.0\" \"\" COEFFS_LINEAR 1000 0 /end "
            "COMPU_METHOD\r\n");
        t.both(
            "    /begin COMPU_METHOD CM_half \"\" RAT_FUNC \"%8.1\" \"\" COEFFS 0 2 0 0 0 1 /end "
            "COMPU_METHOD\r\n");
        t.both(
            "    /begin A2ML\r\n      block \"IF_DATA\" taggedunion { \"X\" \"/end\" };\r\n    /end "
            "A2ML\r\n");
        for (const char* type : {"UWORD", "SWORD", "SLONG", "ULONG"})
            t.both("    /begin RECORD_LAYOUT RL_" + std::string(type) + " FNC_VALUES 1 " + type +
                   " ROW_DIR DIRECT /end RECORD_LAYOUT\r\n");
        // Moved, written in decimal: rewritten in hexadecimal.
        t.differ(measurement("counter", "UBYTE", " ECU_ADDRESS " + std::to_string(stale("counter"))),
                 measurement("counter", "UBYTE", " ECU_ADDRESS " + hexAddress(addr("counter"))));
        // In place, written in decimal: kept as written.
        t.both(measurement("gain", "FLOAT32_IEEE", " ECU_ADDRESS " + std::to_string(addr("gain"))));
        t.differ(measurement("level", "UBYTE", " /* moved */ ECU_ADDRESS 0x0"),
                 measurement("level", "UWORD", " /* moved */ ECU_ADDRESS " + hexAddress(addr("level"))));
        // An enumeration's signedness may differ; its size may not.
        const std::string flipped = (modeKeyword[0] == 'U' ? "S" : "U") + modeKeyword.substr(1);
        t.both(measurement("mode", flipped, " ECU_ADDRESS " + hexAddress(addr("mode"))));
        t.differ(measurement("trim", "A_UINT64", " ECU_ADDRESS " + hexAddress(addr("trim"))),
                 measurement("trim", trimKeyword, " ECU_ADDRESS " + hexAddress(addr("trim"))));
        t.both(measurement("flags.level", "ULONG",
                           " BIT_MASK 0x80000000 ECU_ADDRESS " + hexAddress(addr("flags.level"))));
        t.differ(measurement("idle", "\"\"", " ECU_ADDRESS " + hexAddress(addr("idle"))),
                 measurement("idle", "\"UWORD\"", " ECU_ADDRESS " + hexAddress(addr("idle"))));
        t.both(measurement("total", "A_INT64", " READ_WRITE"));
        // Limits are physical values: a new type is measured through the conversion.
        const std::string levelAt = " ECU_ADDRESS " + hexAddress(addr("level")) + " /end MEASUREMENT\r\n";
        t.differ("    /begin MEASUREMENT level \"\" UBYTE CM_kilo 0 0 0 255000" + levelAt,
                 "    /begin MEASUREMENT level \"\" UWORD CM_kilo 0 0 0 255000" + levelAt);
        t.differ("    /begin MEASUREMENT level \"\" SBYTE CM_half 0 0 -64 63.5" + levelAt,
                 "    /begin MEASUREMENT level \"\" UWORD CM_half 0 0 -64 63.5" + levelAt);
        t.differ(
            "    /begin MEASUREMENT total \"\" A_UINT64 NO_COMPU_METHOD 0 0 0 18446744073709551615 /end "
            "MEASUREMENT\r\n",
            "    /begin MEASUREMENT total \"\" A_INT64 NO_COMPU_METHOD 0 0 0 18446744073709551615 /end "
            "MEASUREMENT\r\n");
        t.both("    /begin IF_DATA OTHER_TOOL\r\n" + measurement("counter", "UBYTE", " ECU_ADDRESS 0x1") +
               "    /end IF_DATA\r\n");
        auto value = [](const std::string& name, std::uint64_t address, const std::string& layout,
                        const std::string& tail) {
            return "    /begin CHARACTERISTIC " + name + " \"\" VALUE " + hexAddress(address) + " " + layout +
                   " 0 NO_COMPU_METHOD 0 255" + tail + " /end CHARACTERISTIC\r\n";
        };
        // The variable buf_2 or the element buf[2]: no name outranks the other.
        t.both(value("buf_2", stale("buf_2"), "RL_UWORD", ""));
        t.differ(value("buf_3", stale("buf[3]"), "RL_UWORD", ""),
                 value("buf_3", addr("buf[3]"), "RL_UWORD", ""));
        // Masks of moved bit fields, and of members that became or stopped being one.
        for (const char* name : {"cal_bits.en", "cal_bits.mode"})
            t.differ(value(name, stale(name), "RL_ULONG", " BIT_MASK " + mask(before, name)),
                     value(name, addr(name), "RL_ULONG", " BIT_MASK " + mask(before, name)));
        const std::string tomoveMask = " BIT_MASK " + mask(before, "by.tomove") + " ECU_ADDRESS ";
        t.differ(measurement("by.tomove", "ULONG", tomoveMask + hexAddress(stale("by.tomove"))),
                 measurement("by.tomove", "UBYTE", tomoveMask + hexAddress(addr("by.tomove"))));
        t.both(measurement("bf.c", "UWORD", " BIT_MASK 0x1FF ECU_ADDRESS " + hexAddress(addr("bf.c"))));
        t.differ(measurement("bf2.bf_now", "UBYTE", " ECU_ADDRESS " + hexAddress(addr("bf2.bf_now"))),
                 measurement("bf2.bf_now", "ULONG", " ECU_ADDRESS " + hexAddress(addr("bf2.bf_now"))));
        t.both(measurement("ctl.mode", "UWORD", " ECU_ADDRESS " + hexAddress(addr("ctl.mode"))));
        t.differ(measurement("ctl.flags", "UWORD", " ECU_ADDRESS " + hexAddress(stale("ctl.flags"))),
                 measurement("ctl.flags", "UWORD", " ECU_ADDRESS " + hexAddress(addr("ctl.flags"))));
        // All 64 bits of a mask count; a double would round both to one value.
        const std::uint64_t wide = image.leaf("banks[0].reserved").bitMask;
        t.both(measurement(
            "banks[0].reserved", "A_UINT64",
            " BIT_MASK " + hexAddress(wide) + " ECU_ADDRESS " + hexAddress(addr("banks[0].reserved"))));
        t.both(measurement(
            "banks[1].reserved", "A_UINT64",
            " BIT_MASK " + hexAddress(wide ^ 1) + " ECU_ADDRESS " + hexAddress(addr("banks[1].reserved"))));
        // Types of the right size that describe the variable no longer.
        t.both(value("cal_f", addr("cal_f"), "RL_SLONG", ""));
        t.both(value("cal_s16", addr("cal_s16"), "RL_SWORD", ""));
        t.both(measurement("va", "SLONG", " ECU_ADDRESS " + hexAddress(addr("va[0]"))));
        t.differ(measurement("gear", "SBYTE", " ECU_ADDRESS " + hexAddress(addr("gear"))),
                 measurement("gear", "UBYTE", " ECU_ADDRESS " + hexAddress(addr("gear"))));
        // Names as the generator writes them: found, unless they lead to two variables.
        t.differ(
            measurement("temp__rature", "UWORD", " ECU_ADDRESS " + hexAddress(stale("temp\xC3\xA9rature"))),
            measurement("temp__rature", "UWORD", " ECU_ADDRESS " + hexAddress(addr("temp\xC3\xA9rature"))));
        t.both(measurement("a_b", "UBYTE", " ECU_ADDRESS " + hexAddress(addr("a$b"))));
        t.both("    /begin CHARACTERISTIC table[0] \"\" CURVE " + hexAddress(stale("table[0]")) +
               " RL_UWORD 0 NO_COMPU_METHOD 0 255 /end CHARACTERISTIC\r\n");
        t.both("    /begin AXIS_PTS path[1].x \"\" " + hexAddress(stale("path[1].x")) +
               " NO_INPUT_QUANTITY RL_UWORD 0 NO_COMPU_METHOD 4 0 255 /end AXIS_PTS\r\n");
        t.both(measurement(local.name, "ULONG", " ECU_ADDRESS " + hexAddress(ticks + 4)));
        t.differ(measurement("map_1_2", "UWORD", " ECU_ADDRESS 0x00000001"),
                 measurement("map_1_2", "UWORD", " ECU_ADDRESS " + hexAddress(addr("map[1][2]"))));
        t.both(measurement("nothing_here", "UBYTE", " ECU_ADDRESS 0x10"));
        t.differ(measurement("counter", "UBYTE", " ECU_ADDRESS 0x7"),
                 measurement("counter", "UBYTE", " ECU_ADDRESS " + hexAddress(addr("counter"))));
        t.both("  /end MODULE\r\n/end PROJECT\r\n");

        auto result = update(image.elf, image.debug, t.in);
        ASSERT_TRUE(result.ok()) << result.error().message();
        const UpdateReport& r = result.value();
        EXPECT_EQ(r.text, t.out);
        EXPECT_EQ(
            r.changed,
            (std::vector<std::string>{
                "counter: address " + hexAddress(stale("counter")) + " -> " + hexAddress(addr("counter")),
                "level: address 0x00000000 -> " + hexAddress(addr("level")),
                "level: data type UBYTE -> UWORD",
                "trim: data type A_UINT64 -> " + trimKeyword,
                "idle: data type  -> UWORD",
                "level: data type UBYTE -> UWORD",
                "level: data type SBYTE -> UWORD",
                "total: data type A_UINT64 -> A_INT64",
                "buf_3: address " + hexAddress(stale("buf[3]")) + " -> " + hexAddress(addr("buf[3]")),
                "cal_bits.en: address " + hexAddress(stale("cal_bits.en")) + " -> " +
                    hexAddress(addr("cal_bits.en")),
                "cal_bits.mode: address " + hexAddress(stale("cal_bits.mode")) + " -> " +
                    hexAddress(addr("cal_bits.mode")),
                "by.tomove: address " + hexAddress(stale("by.tomove")) + " -> " +
                    hexAddress(addr("by.tomove")),
                "by.tomove: data type ULONG -> UBYTE",
                "bf2.bf_now: data type UBYTE -> ULONG",
                "ctl.flags: address " + hexAddress(stale("ctl.flags")) + " -> " +
                    hexAddress(addr("ctl.flags")),
                "gear: data type SBYTE -> UBYTE",
                "temp__rature: address " + hexAddress(stale("temp\xC3\xA9rature")) + " -> " +
                    hexAddress(addr("temp\xC3\xA9rature")),
                "map_1_2: address 0x00000001 -> " + hexAddress(addr("map[1][2]")),
                "counter: address 0x00000007 -> " + hexAddress(addr("counter")),
            }));
        EXPECT_EQ(r.notInElf, std::vector<std::string>{"nothing_here"});
        std::vector<std::string> warnings;
        if (byteOrder.bigEndian != elfBigEndian)
            warnings.push_back(std::string("m: BYTE_ORDER ") +
                               (byteOrder.bigEndian ? "MSB_FIRST (big-endian)" : "MSB_LAST (little-endian)") +
                               " in the A2L, " + (elfBigEndian ? "big" : "little") +
                               "-endian in the ELF (not changed - check)");
        warnings.insert(
            warnings.end(),
            {
                "meas_timing.a2l: included file not followed (its objects are not updated - check)",
                "calib\\maps.a2l: included file not followed (its objects are not updated - check)",
                "flags.level: BIT_MASK 0x80000000 in the A2L, " +
                    hexAddress(image.leaf("flags.level").bitMask) + " in the ELF (not changed)",
                "level: limits -64 63.5 outside the range of UWORD (0 to 32767.5; not changed - check)",
                "total: limits 0 18446744073709551615 outside the range of A_INT64 (-9.223372037e+18 to "
                "9.223372037e+18; not changed - check)",
                ambiguous("buf_2", stale("buf_2"), addr("buf[2]"), addr("buf_2")),
                "buf_3: 1 byte(s) in the ELF, record layout RL_UWORD has 2 (not changed)",
                "cal_bits.en: BIT_MASK " + mask(before, "cal_bits.en") + " in the A2L, " +
                    mask(image, "cal_bits.en") + " in the ELF (not changed)",
                "cal_bits.mode: BIT_MASK " + mask(before, "cal_bits.mode") + " in the A2L, " +
                    mask(image, "cal_bits.mode") + " in the ELF (not changed)",
                "by.tomove: BIT_MASK " + mask(before, "by.tomove") +
                    " in the A2L, none in the ELF (not a bit field, not changed)",
                "bf.c: BIT_MASK 0x000001FF in the A2L, none in the ELF (not a bit field, not changed)",
                "bf2.bf_now: BIT_MASK none in the A2L, " + mask(image, "bf2.bf_now") +
                    " in the ELF (not changed)",
                "ctl.mode: BIT_MASK none in the A2L, " + mask(image, "ctl.mode") +
                    " in the ELF (not changed)",
                "ctl.flags: BIT_MASK none in the A2L, " + mask(image, "ctl.flags") +
                    " in the ELF (not changed)",
                "banks[1].reserved: BIT_MASK " + hexAddress(wide ^ 1) + " in the A2L, " + hexAddress(wide) +
                    " in the ELF (not changed)",
                "cal_f: FLOAT32_IEEE in the ELF, record layout RL_SLONG has SLONG (not changed)",
                "cal_s16: UWORD in the ELF, record layout RL_SWORD has SWORD (not changed)",
                "va: data type SLONG in the A2L, int16[2] in the ELF (not a scalar, not changed - check)",
                ambiguous("a_b", addr("a$b"), addr("a$b"), addr("a_b")),
                "table[0]: address " + hexAddress(stale("table[0]")) + " in the A2L, " +
                    hexAddress(addr("table[0]")) +
                    " for 'table[0]' in the ELF (not a scalar, not changed - check)",
                "path[1].x: address " + hexAddress(stale("path[1].x")) + " in the A2L, " +
                    hexAddress(addr("path[1].x")) +
                    " for 'path[1].x' in the ELF (not a scalar, not changed - check)",
                local.name + ": address " + hexAddress(ticks + 4) + " in the A2L, " + hexAddress(ticks) +
                    " for '" + local.name + "' in the ELF (symbol table only, not changed - check)",
            });
        EXPECT_EQ(r.warnings, warnings);
        EXPECT_EQ(r.objects, 34u);
        EXPECT_EQ(r.addressesChanged, 10u);
        EXPECT_EQ(r.unchanged, 23u);
        expectInvariant(r);

        // Run again on its own output: nothing more to change.
        auto again = update(image.elf, image.debug, r.text);
        ASSERT_TRUE(again.ok());
        EXPECT_EQ(again.value().text, r.text);
        EXPECT_EQ(again.value().addressesChanged, 0u);
        EXPECT_EQ(again.value().changed, std::vector<std::string>{});
    }
}

// A file generated from an ELF file and updated against that same file: nothing
// to change and nothing missing, whatever the names (C++ scopes, letters beyond
// ASCII, a$b beside a_b) and bit fields, for measurements and parameters alike;
// a name that leads to two variables is only reported.
TEST(Update, GeneratedFromItsOwnElfStaysAsItIs) {
    const std::size_t images = testing::forEachLoadableFixture(
        true, [](const std::string& name, const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug) {
            for (const char* list :
                 {R"({"variables": [{"name": "*", "pointer": true}]})",
                  R"({"variables": [{"name": "*", "pointer": true, "parameter": true}]})"}) {
                SCOPED_TRACE(name + " " + list);
                auto generated = generate(elf, debug, list, "fw");
                ASSERT_TRUE(generated.ok()) << generated.error().message();
                auto result = update(elf, debug, generated.value().text);
                ASSERT_TRUE(result.ok()) << result.error().message();
                const UpdateReport& r = result.value();
                EXPECT_EQ(r.text, generated.value().text);
                EXPECT_EQ(r.changed, std::vector<std::string>{});
                EXPECT_EQ(r.notInElf, std::vector<std::string>{});
                for (std::size_t i = debug.warnings.size(); i < r.warnings.size(); ++i)
                    EXPECT_NE(r.warnings[i].find(" (ambiguous, not changed - check)"), std::string::npos)
                        << r.warnings[i];
            }
        });
    EXPECT_GE(images, 300u);
}

// A name the ELF holds but no scalar describes (a bit field no 8 bytes hold,
// a value below the depth bound, a class only declared, a virtual base's
// members) is a warning, not "not in the ELF": every value the expansion
// leaves out, and a name under it, in every fixture.
TEST(Update, ValuesLeftOutAreWarnedOfNotMissing) {
    std::size_t named = 0;
    testing::forEachLoadableFixture(
        true, [&](const std::string& file, const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug) {
            SCOPED_TRACE(file);
            std::vector<std::string> warnings;
            for (const auto& global : debug.globals)
                vk::elf::forEachLeaf(
                    debug, global, 64, [](const vk::elf::Variable&) {}, nullptr, &warnings);
            std::string text;
            std::vector<std::string> expected;
            for (const std::string& warning : warnings) {
                const auto value = vk::elf::leftOutValue(warning);
                if (!value || value->name.find_first_of(" \"") != std::string_view::npos) continue;
                const std::string name(value->name);
                text += measurement(name, "UBYTE", "");
                expected.push_back(warning + " (not changed - check)");
                if (value->whole) continue;
                text += measurement(name + ".sub", "UBYTE", "");
                expected.push_back(name + ".sub: under " + warning + " (not changed - check)");
            }
            if (expected.empty()) return;
            auto result = update(elf, debug, text);
            ASSERT_TRUE(result.ok()) << result.error().message();
            const UpdateReport& r = result.value();
            EXPECT_EQ(r.notInElf, std::vector<std::string>{});
            EXPECT_EQ(std::vector<std::string>(
                          r.warnings.begin() + static_cast<std::ptrdiff_t>(debug.warnings.size()),
                          r.warnings.end()),
                      expected);
            EXPECT_EQ(r.unchanged, expected.size());
            named += expected.size();
        });
    EXPECT_GE(named, 100u);
}

// Elements are found however far out their array: only the named ones are
// looked at. readelf gives the arrays' addresses.
TEST(Update, ElementsPastAMillionAreFound) {
    const std::string path = std::string(VK_FIXTURE_DIR) + "/generated/frame_buffers-armv7m.elf";
    auto elf = vk::elf::loadElf(path);
    ASSERT_TRUE(elf.ok());
    auto debug = vk::elf::loadDwarf(elf.value());
    ASSERT_TRUE(debug.ok());
    std::map<std::string, std::uint64_t> symbols;
    for (const auto& object : testing_support::readelfObjectList(path)) symbols[object.name] = object.value;
    const struct {
        std::string name;
        std::uint64_t address;
    } rows[] = {{"log_buf[2999999]", symbols.at("log_buf") + 2999999},
                {"log_buf_1048576", symbols.at("log_buf") + 1048576},
                {"frame_buf_13[1500000]", symbols.at("frame_buf_13") + 1500000}};
    std::string in;
    std::vector<std::string> changed;
    for (const auto& row : rows) {
        in += measurement(row.name, "UBYTE", " ECU_ADDRESS 0x10");
        changed.push_back(row.name + ": address 0x00000010 -> " + hexAddress(row.address));
    }
    in += measurement("log_buf[3000000]", "UBYTE", " ECU_ADDRESS 0x10");
    auto result = update(elf.value(), debug.value(), in);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value().changed, changed);
    EXPECT_EQ(result.value().notInElf, std::vector<std::string>{"log_buf[3000000]"});
}

// Without PROJECT the model does not load: addresses are still updated, the
// BIT_MASK and record-layout checks are left out silently.
TEST(Update, TextWithoutModelIsStillUpdated) {
    const Image image = testing::loadImage("update_after", "armv7m");
    const std::string in =
        "/begin MEASUREMENT flags.level \"\" ULONG CM 0 0 0 1 BIT_MASK 0x1 ECU_ADDRESS 0x1 "
        "/end MEASUREMENT\n"
        "/begin CHARACTERISTIC level \"\" VALUE 0x2 RL_UBYTE 0 CM 0 1 /end CHARACTERISTIC\n"
        "/begin RECORD_LAYOUT RL_UBYTE FNC_VALUES 1 UBYTE ROW_DIR DIRECT /end RECORD_LAYOUT\n";
    auto result = update(image.elf, image.debug, in);
    ASSERT_TRUE(result.ok());
    const UpdateReport& r = result.value();
    EXPECT_EQ(r.addressesChanged, 2u);
    EXPECT_TRUE(r.warnings.empty());
    std::string expected = in;
    expected.replace(in.find("VALUE 0x2") + 6, 3, hexAddress(image.leaf("level").address));
    expected.replace(in.find("ECU_ADDRESS 0x1") + 12, 3, hexAddress(image.leaf("flags.level").address));
    EXPECT_EQ(r.text, expected);
}

TEST(Update, EmptyAndBrokenTexts) {
    const Image image = testing::loadImage("update_after", "x86_64");
    auto empty = update(image.elf, image.debug, "/* no objects */\r\n/begin PROJECT p \"\" /end PROJECT\r\n");
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(empty.value().text, "/* no objects */\r\n/begin PROJECT p \"\" /end PROJECT\r\n");
    EXPECT_EQ(empty.value().objects, 0u);
    EXPECT_EQ(empty.value().unchanged, 0u);
    EXPECT_TRUE(empty.value().changed.empty() && empty.value().notInElf.empty() &&
                empty.value().warnings.empty());

    auto broken = update(image.elf, image.debug, "/begin MEASUREMENT x \"\" UBYTE\n/* open");
    ASSERT_FALSE(broken.ok());
    EXPECT_EQ(broken.error().message(), "A2L line 2: unterminated comment");
    EXPECT_EQ(broken.error().code, ErrorCode::InvalidArgument);
}

// A data type of one odd byte between a block's closing name and a word: the
// keyword in its place must join neither, or the text would no longer load.
TEST(Update, ReplacedTokenNeverJoinsItsNeighbours) {
    const Image image = testing::loadImage("update_after", "armv7m");
    const std::string tail = " 0 0 0 255 ECU_ADDRESS " + hexAddress(image.leaf("level").address) +
                             " /end MEASUREMENT\n/end MODULE /end PROJECT\n";
    const std::string head =
        "/begin PROJECT p /begin MODULE m\n/begin MEASUREMENT level \"\" /begin IF_DATA X /end IF_DATA";
    // A control byte is shown escaped, so that a NUL does not cut the report line.
    for (const auto& [odd, shown] :
         {std::pair<std::string, std::string>{"@", "@"}, {std::string(1, '\0'), "\\x00"}}) {
        auto result = update(image.elf, image.debug, head + odd + "NO_COMPU_METHOD" + tail);
        ASSERT_TRUE(result.ok());
        EXPECT_EQ(result.value().text, head + " UWORD NO_COMPU_METHOD" + tail);
        EXPECT_EQ(result.value().changed,
                  std::vector<std::string>{"level: data type " + shown + " -> UWORD"});
        auto reloaded = vk::a2l::parse(result.value().text);
        ASSERT_TRUE(reloaded.ok()) << reloaded.error().message();
        const vk::a2l::Measurement* level = reloaded.value().modules.at(0).findMeasurement("level");
        ASSERT_NE(level, nullptr);
        EXPECT_EQ(level->dataType, vk::a2l::DataType::UWord);
    }
}

// Long identifiers with quotes written doubled, as other tools write them: the
// strings stay whole, so only the address and data-type tokens change and
// every object is counted.
TEST(Update, DoubledQuotesInStringsKeepTheirObjectsWhole) {
    const Image image = testing::loadImage("update_after", "armv7m");
    const std::string counter = hexAddress(image.leaf("counter").address);
    const std::string level = hexAddress(image.leaf("level").address);
    Texts t;
    t.both("/begin PROJECT p \"\"\"quoted\"\" project\"\n/begin MODULE m \"\"\n");
    t.differ("/begin MEASUREMENT counter \"Pressure \"\"chamber\"\" 03\" UBYTE CM 0 0 0 255 ECU_ADDRESS 0x1",
             "/begin MEASUREMENT counter \"Pressure \"\"chamber\"\" 03\" UBYTE CM 0 0 0 255 ECU_ADDRESS " +
                 counter);
    t.both(" /end MEASUREMENT\n");
    t.differ("/begin MEASUREMENT level \"\"\"\" UBYTE CM 0 0 0 255 ECU_ADDRESS 0x2",
             "/begin MEASUREMENT level \"\"\"\" UWORD CM 0 0 0 255 ECU_ADDRESS " + level);
    t.both(" /end MEASUREMENT\n");
    t.differ("/begin CHARACTERISTIC level \"a \"\"\"\" b\" VALUE 0x3",
             "/begin CHARACTERISTIC level \"a \"\"\"\" b\" VALUE " + level);
    t.both(" RL 0 CM 0 255 /end CHARACTERISTIC\n/end MODULE\n/end PROJECT\n");
    auto result = update(image.elf, image.debug, t.in);
    ASSERT_TRUE(result.ok()) << result.error().message();
    EXPECT_EQ(result.value().text, t.out);
    EXPECT_EQ(result.value().objects, 3u);
    EXPECT_EQ(result.value().addressesChanged, 3u);
    EXPECT_EQ(result.value().changed.size(), 4u);
    expectInvariant(result.value());
    auto reloaded = vk::a2l::parse(result.value().text);
    ASSERT_TRUE(reloaded.ok()) << reloaded.error().message();
    const vk::a2l::Measurement* m = reloaded.value().modules.at(0).findMeasurement("counter");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->longIdentifier, "Pressure \"chamber\" 03");
}

// Debug information made by hand for what no 32-bit fixture can hold.
struct HandMade {
    vk::elf::ElfFile elf;  // no symbols
    vk::elf::DebugInfo debug;
    std::int32_t add(vk::elf::TypeInfo type) {
        debug.types.push_back(std::move(type));
        return static_cast<std::int32_t>(debug.types.size() - 1);
    }
    std::int32_t addUnsigned32() {
        vk::elf::TypeInfo u32;
        u32.kind = vk::elf::TypeKind::Base;
        u32.byteSize = 4;
        u32.encoding = 0x07;
        return add(u32);
    }
};

TEST(Update, AddressesOfFourGibibytesAndMoreAreNotWritten) {
    HandMade m;
    const auto t = m.addUnsigned32();
    m.debug.globals = {{"high", 0x100000010, t, true, ""}, {"low", 0xFFFFFFFF, t, true, ""}};
    const std::string in =
        "/begin MEASUREMENT high \"\" ULONG CM 0 0 0 1 ECU_ADDRESS 0x10 /end MEASUREMENT\n"
        "/begin CHARACTERISTIC high \"\" CURVE 0x20 RL 0 CM 0 1 /end CHARACTERISTIC\n"
        "/begin MEASUREMENT low \"\" ULONG CM 0 0 0 1 ECU_ADDRESS 0x0 /end MEASUREMENT\n";
    auto result = update(m.elf, m.debug, in);
    ASSERT_TRUE(result.ok());
    const UpdateReport& r = result.value();
    EXPECT_EQ(r.warnings,
              (std::vector<std::string>{
                  "high: address 0x00000010 in the A2L, 0x100000010 in the ELF does not fit 32 bits "
                  "(not changed - check)",
                  "high: address 0x00000020 in the A2L, 0x100000010 for 'high' in the ELF (not a scalar, "
                  "not changed - check)",
              }));
    EXPECT_EQ(r.changed, std::vector<std::string>{"low: address 0x00000000 -> 0xFFFFFFFF"});
    EXPECT_EQ(r.unchanged, 2u);
    EXPECT_EQ(r.addressesChanged, 1u);
    expectInvariant(r);
    std::string expected = in;
    expected.replace(in.rfind("0x0 "), 3, "0xFFFFFFFF");
    EXPECT_EQ(r.text, expected);
}

// Two variables of one name: nothing of the object is rewritten, its address
// token (when it has one) and the candidates are reported.
TEST(Update, SameNamedVariablesAreLeftAsWritten) {
    HandMade m;
    const auto t = m.addUnsigned32();
    m.debug.globals = {{"dup", 0x20, t, true, "b.c"}, {"dup", 0x10, t, true, "a.c"}};
    const std::string in =
        "/begin MEASUREMENT dup \"\" UBYTE CM 0 0 0 1 ECU_ADDRESS 0x10 /end MEASUREMENT\n"
        "/begin MEASUREMENT dup \"\" UBYTE CM 0 0 0 1 /end MEASUREMENT\n";
    auto result = update(m.elf, m.debug, in);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value().text, in);
    EXPECT_EQ(
        result.value().warnings,
        (std::vector<std::string>{"dup: address 0x00000010 in the A2L, 2 variables of this name in the ELF "
                                  "at 0x00000010, 0x00000020 (ambiguous, not changed - check)",
                                  "dup: 2 variables of this name in the ELF at 0x00000010, 0x00000020 "
                                  "(ambiguous, not changed - check)"}));
    EXPECT_EQ(result.value().unchanged, 2u);
    expectInvariant(result.value());
}

TEST(Update, EnumerationSignToleranceStopsAtWidth) {
    HandMade m;
    vk::elf::TypeInfo e;
    e.kind = vk::elf::TypeKind::Enum;
    e.byteSize = 8;
    e.enumerators = {{-1, "NEG"}, {1, "POS"}};
    const auto t = m.add(e);
    m.debug.globals = {{"e", 0x100, t, true, ""}};
    auto result = update(m.elf, m.debug,
                         "/begin MEASUREMENT e \"\" A_UINT64 CM 0 0 0 1 ECU_ADDRESS 0x100 /end MEASUREMENT\n"
                         "/begin MEASUREMENT e \"\" SLONG CM 0 0 0 1 ECU_ADDRESS 0x100 /end MEASUREMENT\n");
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.value().changed, (std::vector<std::string>{"e: data type A_UINT64 -> A_INT64",
                                                                "e: data type SLONG -> A_INT64"}));
    EXPECT_EQ(result.value().unchanged, 2u);
}

TEST(TextEdits, SortedDescendingAndAppliedFromTheEnd) {
    std::vector<TextEdit> edits = {{3, 1, "BBBB"}, {8, 1, ""}, {0, 1, "x"}, {6, 2, "yyy"}};
    sortEdits(edits);
    ASSERT_EQ(edits.size(), 4u);
    EXPECT_EQ(edits[0].offset, 8u);
    EXPECT_EQ(edits[1].offset, 6u);
    EXPECT_EQ(edits[2].offset, 3u);
    EXPECT_EQ(edits[3].offset, 0u);
    // Longer, shorter and empty replacements; the CR LF pairs stay as they are.
    EXPECT_EQ(applyEdits("a\r\nb\r\ncde\r\n", edits), "x\r\nBBBB\r\nyyy\r\n");
    EXPECT_EQ(applyEdits("unchanged", {}), "unchanged");
    // Edits outside the text or over one already applied change nothing.
    EXPECT_EQ(applyEdits("abc", {{5, 1, "x"}, {1, 1, "X"}, {0, 2, "y"}}), "aXc");
}

}  // namespace
}  // namespace vk::tool
