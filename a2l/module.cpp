#include "a2l/module.h"

#include "a2l/field_reader.h"
#include "a2l/object_guard.h"
#include "a2l/token.h"

namespace vk::a2l {

namespace {

template <typename Record>
void buildIndex(const std::vector<Record>& table, NameIndex& index) {
    index.clear();
    index.reserve(table.size());
    for (std::uint64_t i = 0; i < table.size(); ++i) index.try_emplace(table[i].name, i);
}

template <typename Record>
const Record* find(const std::vector<Record>& table, const NameIndex& index, std::string_view name) {
    const auto it = index.find(std::string(name));
    return it == index.end() ? nullptr : &table[it->second];
}

// Later constants of a name replace earlier ones.
void readSystemConstants(const Block& block, Module& module) {
    const std::vector<Token>& tokens = block.tokens;
    for (std::size_t k = 0; k + 2 < tokens.size(); ++k) {
        if (tokens[k].is("SYSTEM_CONSTANT")) {
            module.systemConstants[unescape(tokens[k + 1].text)] = unescape(tokens[k + 2].text);
        }
    }
}

bool isXcpIfData(const Block& block) {
    if (block.tokens.empty()) return false;
    const std::string_view first = block.tokens.front().text;
    return first == "XCP" || first == "XCPplus";
}

// A settings value replaces the module's only once the whole block has read.
void readXcp(const Block& block, Module& module) {
    XcpSettings settings;
    parseXcpIfData(block, settings);
    module.xcp = std::move(settings);
}

}  // namespace

void readModuleChild(const Block& child, std::vector<std::string>& warnings, Module& module) {
    const std::string_view kind = child.name;
    if (kind == "MEASUREMENT") {
        guardObject(child, warnings, [&] { module.measurements.push_back(parseMeasurement(child)); });
    } else if (kind == "CHARACTERISTIC") {
        guardObject(child, warnings, [&] { module.characteristics.push_back(parseCharacteristic(child)); });
    } else if (kind == "AXIS_PTS") {
        guardObject(child, warnings, [&] { module.axisPts.push_back(readAxisPts(child)); });
    } else if (kind == "COMPU_METHOD") {
        guardObject(child, warnings, [&] { module.compuMethods.push_back(parseCompuMethod(child)); });
    } else if (kind == "COMPU_TAB") {
        parseCompuTab(child, warnings, module);
    } else if (kind == "COMPU_VTAB") {
        guardObject(child, warnings, [&] { module.compuVtabs.push_back(parseCompuVtab(child, false)); });
    } else if (kind == "COMPU_VTAB_RANGE") {
        parseCompuVtabRange(child, warnings, module);
    } else if (kind == "RECORD_LAYOUT") {
        parseRecordLayout(child, warnings, module);
    } else if (kind == "MOD_COMMON") {
        module.byteOrder = readByteOrder(FieldReader(child));
    } else if (kind == "MOD_PAR") {
        readSystemConstants(child, module);
    } else if (kind == "IF_DATA" && isXcpIfData(child)) {
        guardObject(child, warnings, [&] { readXcp(child, module); });
    }
}

void Module::reindex() {
    buildIndex(measurements, measurementIndex);
    buildIndex(characteristics, characteristicIndex);
    buildIndex(axisPts, axisPtsIndex);
    buildIndex(compuMethods, compuMethodIndex);
    buildIndex(compuTabs, compuTabIndex);
    buildIndex(compuVtabs, compuVtabIndex);
    buildIndex(recordLayouts, recordLayoutIndex);
}

const Measurement* Module::findMeasurement(std::string_view n) const {
    return find(measurements, measurementIndex, n);
}
const Characteristic* Module::findCharacteristic(std::string_view n) const {
    return find(characteristics, characteristicIndex, n);
}
const AxisPts* Module::findAxisPts(std::string_view n) const {
    return find(axisPts, axisPtsIndex, n);
}
const CompuMethod* Module::findCompuMethod(std::string_view n) const {
    return find(compuMethods, compuMethodIndex, n);
}
const CompuTab* Module::findCompuTab(std::string_view n) const {
    return find(compuTabs, compuTabIndex, n);
}
const CompuVtab* Module::findCompuVtab(std::string_view n) const {
    return find(compuVtabs, compuVtabIndex, n);
}
const RecordLayout* Module::findRecordLayout(std::string_view n) const {
    return find(recordLayouts, recordLayoutIndex, n);
}

// No object reader looks at the module's name, so it may be set last.
void nameModule(const Block& block, Module& module) {
    if (!block.tokens.empty()) module.name = std::string(block.tokens[0].text);
    if (block.tokens.size() >= 2 && block.tokens[1].kind == TokenKind::String) {
        module.longIdentifier = unescape(block.tokens[1].text);
    }
}

Module parseModule(const Block& block, std::vector<std::string>& warnings) {
    Module module;
    for (const Block& child : block.children) readModuleChild(child, warnings, module);
    nameModule(block, module);
    module.reindex();
    return module;
}

}  // namespace vk::a2l
