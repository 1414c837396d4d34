#include <algorithm>

#include "a2l/compu.h"
#include "a2l/field_reader.h"
#include "a2l/module.h"
#include "a2l/object_guard.h"
#include "a2l/truncate.h"

namespace vk::a2l {

namespace {

// The declared row count of a table. The reservation is capped by the rows
// the remaining tokens can hold, so a count far beyond them cannot exhaust
// memory; reading then stops at the first missing field.
std::uint64_t readRowCount(FieldReader& reader, std::string_view field, std::uint64_t tokensPerRow,
                           std::uint64_t& reservation) {
    const double value = reader.number(field);
    if (!isNonNegativeWhole(value)) throw ObjectError{std::string(field) + " must be a non-negative integer"};
    const std::uint64_t count = truncateToUint64(value);
    const std::uint64_t remaining = reader.block->tokens.size() - reader.index;
    reservation = std::min(count, remaining / tokensPerRow);
    return count;
}

}  // namespace

CompuVtab parseCompuVtab(const Block& block, bool range) {
    CompuVtab table;
    FieldReader reader(block);
    table.name = reader.word("name");
    reader.string("long identifier");
    if (!range) reader.word("conversion type");
    std::uint64_t reservation = 0;
    const std::uint64_t count = readRowCount(reader, "number of entries", range ? 3 : 2, reservation);
    table.entries.reserve(reservation);
    for (std::uint64_t row = 0; row < count; ++row) {
        CompuVtabEntry entry;
        entry.inVal = reader.number("InVal");
        entry.inValMax = range ? reader.number("InValMax") : entry.inVal;
        entry.outVal = reader.string("OutVal");
        table.entries.push_back(std::move(entry));
    }
    table.defaultValue = textAfterKeyword(block, reader.index, "DEFAULT_VALUE");
    return table;
}

void parseCompuVtabRange(const Block& block, std::vector<std::string>& warnings, Module& module) {
    guardObject(block, warnings, [&] { module.compuVtabs.push_back(parseCompuVtab(block, true)); });
}

void parseCompuTab(const Block& block, std::vector<std::string>& warnings, Module& module) {
    guardObject(block, warnings, [&] {
        CompuTab table;
        FieldReader reader(block);
        table.name = reader.word("name");
        reader.string("long identifier");
        table.conversionType = parseConversionType(reader.word("conversion type"));
        std::uint64_t reservation = 0;
        const std::uint64_t count = readRowCount(reader, "number of value pairs", 2, reservation);
        table.pairs.reserve(reservation);
        for (std::uint64_t row = 0; row < count; ++row) {
            CompuTabEntry entry;
            entry.inVal = reader.number("InVal");
            entry.outVal = reader.number("OutVal");
            table.pairs.push_back(entry);
        }
        table.defaultValueNumeric = numberAfterKeyword(block, reader.index, "DEFAULT_VALUE_NUMERIC");
        module.compuTabs.push_back(std::move(table));
    });
}

}  // namespace vk::a2l
