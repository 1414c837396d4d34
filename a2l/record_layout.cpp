#include "a2l/record_layout.h"

#include "a2l/field_reader.h"
#include "a2l/module.h"
#include "a2l/object_guard.h"
#include "a2l/truncate.h"

namespace vk::a2l {

namespace {

// KEYWORD POSITION DATATYPE: present only when both tokens follow. The
// position is taken from any token kind, as the lexer valued it.
std::optional<LayoutItem> readItem(const Block& block, std::uint64_t i) {
    if (i == kNoIndex || block.tokens.size() - i < 2) return std::nullopt;
    LayoutItem item;
    item.position = low16(block.tokens[i].number);
    item.dataType = parseDataType(block.tokens[i + 1].text);
    return item;
}

RecordLayout readRecordLayout(const Block& block) {
    RecordLayout layout;
    FieldReader reader(block);
    layout.name = reader.word("name");
    const std::uint64_t fnc = indexAfterKeyword(block, 1, "FNC_VALUES");
    layout.fncValues = readItem(block, fnc);
    layout.axisPtsX = readItem(block, indexAfterKeyword(block, 1, "AXIS_PTS_X"));
    layout.noAxisPtsX = readItem(block, indexAfterKeyword(block, 1, "NO_AXIS_PTS_X"));
    if (fnc != kNoIndex && block.tokens.size() - fnc > 2) {
        layout.fncValuesIndexMode = std::string(block.tokens[fnc + 2].text);
    }
    if (const std::optional<double> fix = numberAfterKeyword(block, 1, "FIX_NO_AXIS_PTS_X")) {
        layout.fixNoAxisPtsX = low16(*fix);
    }
    return layout;
}

}  // namespace

void parseRecordLayout(const Block& block, std::vector<std::string>& warnings, Module& module) {
    guardObject(block, warnings, [&] { module.recordLayouts.push_back(readRecordLayout(block)); });
}

}  // namespace vk::a2l
