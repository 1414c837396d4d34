// Conversion objects of a MODULE: COMPU_METHOD, COMPU_TAB and the verbal
// tables COMPU_VTAB / COMPU_VTAB_RANGE, as plain records with their parsers.
// A parser throws ObjectError for a bad object; the wrappers that take the
// warning list turn it into a skip warning themselves.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "a2l/block.h"
#include "a2l/data_types.h"

namespace vk::a2l {

struct Module;

struct CompuMethod {
    std::string name;
    std::string longIdentifier;
    ConversionType conversionType{};
    std::string format;
    std::string unit;
    std::array<double, 2> coeffsLinear{1.0, 0.0};
    std::array<double, 6> coeffs{0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
    std::string compuTabRef;
    std::string formula;
    std::string formulaInv;
    std::string statusStringRef;
};

struct CompuTabEntry {
    double inVal = 0;
    double outVal = 0;
};

struct CompuTab {
    std::string name;
    ConversionType conversionType{};
    std::vector<CompuTabEntry> pairs;
    std::optional<double> defaultValueNumeric;
};

// A COMPU_VTAB row has inValMax equal to inVal.
struct CompuVtabEntry {
    double inVal = 0;
    double inValMax = 0;
    std::string outVal;
};

// One COMPU_VTAB or COMPU_VTAB_RANGE; both share this record and one table.
struct CompuVtab {
    std::string name;
    std::vector<CompuVtabEntry> entries;
    std::string defaultValue;
};

CompuMethod parseCompuMethod(const Block& block);
CompuVtab parseCompuVtab(const Block& block, bool range);

// These append the object to the module's table, or the skip warning to
// warnings when the object is bad.
void parseCompuVtabRange(const Block& block, std::vector<std::string>& warnings, Module& module);
void parseCompuTab(const Block& block, std::vector<std::string>& warnings, Module& module);

}  // namespace vk::a2l
