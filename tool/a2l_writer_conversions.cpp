// Conversion methods (one per item, named CM_ and its identifier), verbal
// tables (VT_ and the identifier) and the record layouts of parameters.
#include <string>

#include "tool/a2l_datatype.h"
#include "tool/a2l_format.h"
#include "tool/a2l_writer.h"

namespace vk::tool {
namespace {

constexpr std::uint8_t kEncodingBoolean = 0x02;

std::vector<VerbalEntry> tableFromJson(const Json& verbal) {
    std::vector<VerbalEntry> table;
    // items() gives object members in key order, array elements with their
    // index as key, and any other value as one element with an empty key.
    for (const auto& element : verbal.items()) {
        VerbalEntry entry;
        entry.text = element.value().get<std::string>();
        entry.value = std::stoll(element.key(), nullptr, 10);
        table.push_back(std::move(entry));
    }
    return table;
}

void writeVerbal(std::string& out, const A2lItem& item, const std::string& unit,
                 const std::vector<VerbalEntry>& table) {
    out += "    /begin COMPU_METHOD CM_" + item.identifier + " \"\" TAB_VERB \"%8.0\" " +
           vk::tool::quoted(unit) + "\n";
    out += "      COMPU_TAB_REF VT_" + item.identifier + "\n";
    out += "    /end COMPU_METHOD\n";
    out += "    /begin COMPU_VTAB VT_" + item.identifier + " \"\" TAB_VERB " + std::to_string(table.size()) +
           "\n";
    for (const VerbalEntry& entry : table)
        out += "      " +
               (entry.isUnsigned ? std::to_string(static_cast<std::uint64_t>(entry.value))
                                 : std::to_string(entry.value)) +
               " " + vk::tool::quoted(entry.text) + "\n";
    out += "    /end COMPU_VTAB\n";
}

// Returns whether the conversion is verbal.
bool writeConversion(std::string& out, const A2lItem& item, const vk::elf::DebugInfo& debug,
                     ListWarnings& warnings) {
    const auto unit = item.entry->value("unit", std::string());
    const std::vector<VerbalEntry> table = verbalTable(item, debug);
    const double factor = item.entry->value("factor", 1.0);
    const double offset = item.entry->value("offset", 0.0);
    const bool identical = factor == 1.0 && offset == 0.0;
    auto format = item.entry->value("format", std::string());
    if (format.empty()) format = identical && !item.isFloat ? "%8.0" : "%10.3";

    const std::string name = "CM_" + item.identifier;
    if (!table.empty()) {
        writeVerbal(out, item, unit, table);
        return true;
    }
    if (identical) {
        out += "    /begin COMPU_METHOD " + name + " \"\" IDENTICAL " + vk::tool::quoted(format) + " " +
               vk::tool::quoted(unit) + "\n";
        out += "    /end COMPU_METHOD\n";
    } else {
        if (factor == 0.0) {
            warnings.add(*item.entry, ListWarnings::kZeroFactor,
                         "factor 0 maps every raw value to one physical value, a conversion that cannot be "
                         "inverted");
        }
        out += "    /begin COMPU_METHOD " + name + " \"\" LINEAR " + vk::tool::quoted(format) + " " +
               vk::tool::quoted(unit) + "\n";
        out += "      COEFFS_LINEAR " + formatNumber(factor) + " " + formatNumber(offset) + "\n";
        out += "    /end COMPU_METHOD\n";
    }
    return false;
}

}  // namespace

std::vector<VerbalEntry> verbalTable(const A2lItem& item, const vk::elf::DebugInfo& debug) {
    const auto verbal = item.entry->find("verbal");
    if (verbal != item.entry->end()) return tableFromJson(*verbal);

    std::vector<VerbalEntry> table;
    const vk::elf::TypeInfo* type = itemType(item, debug);
    if (type == nullptr) return table;
    if (type->kind == vk::elf::TypeKind::Enum) {
        for (const vk::elf::Enumerator& e : type->enumerators)
            table.push_back({e.value, std::string(e.name), unsignedEnumerators(*type)});
    } else if (type->kind == vk::elf::TypeKind::Base && type->encoding == kEncodingBoolean) {
        table.push_back({0, "false"});
        table.push_back({1, "true"});
    }
    return table;
}

Conversions writeConversions(std::string& out, const std::vector<A2lItem>& items,
                             const vk::elf::DebugInfo& debug, ListWarnings& warnings) {
    Conversions conversions;
    conversions.verbal.reserve(items.size());
    for (const A2lItem& item : items) {
        conversions.verbal.push_back(writeConversion(out, item, debug, warnings));
        if (item.entry->value("parameter", false)) conversions.layoutTypes.insert(item.dataType);
    }
    return conversions;
}

void writeRecordLayouts(std::string& out, const std::set<std::string>& dataTypes) {
    for (const std::string& keyword : dataTypes) {
        out += "    /begin RECORD_LAYOUT RL_" + keyword + "\n";
        out += "      FNC_VALUES 1 " + keyword + " COLUMN_DIR DIRECT\n";
        out += "    /end RECORD_LAYOUT\n";
    }
}

}  // namespace vk::tool
