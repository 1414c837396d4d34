// One MODULE of an A2L project: its settings and seven object tables, each in
// file order with a name index whose lookups find the first object of a name.
// Indexes hold positions, not pointers, so a moved module stays valid.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "a2l/axis_pts.h"
#include "a2l/block.h"
#include "a2l/characteristic.h"
#include "a2l/compu.h"
#include "a2l/data_types.h"
#include "a2l/measurement.h"
#include "a2l/record_layout.h"
#include "a2l/xcp.h"

namespace vk::a2l {

using NameIndex = std::unordered_map<std::string, std::uint64_t>;

struct Module {
    std::string name;
    std::string longIdentifier;
    std::optional<ByteOrder> byteOrder;
    std::optional<XcpSettings> xcp;
    std::unordered_map<std::string, std::string> systemConstants;
    std::vector<Measurement> measurements;
    std::vector<Characteristic> characteristics;
    std::vector<AxisPts> axisPts;
    std::vector<CompuMethod> compuMethods;
    std::vector<CompuTab> compuTabs;
    std::vector<CompuVtab> compuVtabs;
    std::vector<RecordLayout> recordLayouts;
    NameIndex measurementIndex;
    NameIndex characteristicIndex;
    NameIndex axisPtsIndex;
    NameIndex compuMethodIndex;
    NameIndex compuTabIndex;
    NameIndex compuVtabIndex;
    NameIndex recordLayoutIndex;

    // Rebuilds the seven name indexes from the tables.
    void reindex();

    // The first object of the name, or null; valid while the module is unchanged.
    const Measurement* findMeasurement(std::string_view name) const;
    const Characteristic* findCharacteristic(std::string_view name) const;
    const AxisPts* findAxisPts(std::string_view name) const;
    const CompuMethod* findCompuMethod(std::string_view name) const;
    const CompuTab* findCompuTab(std::string_view name) const;
    const CompuVtab* findCompuVtab(std::string_view name) const;
    const RecordLayout* findRecordLayout(std::string_view name) const;
};

// Fills a module from a MODULE block; bad objects become lines in warnings.
Module parseModule(const Block& block, std::vector<std::string>& warnings);

// parseModule in steps, for a reader that meets the children one at a time: each
// direct child of the MODULE block in order, then the name and long identifier
// from the block once complete; Module::reindex is the caller's last step.
void readModuleChild(const Block& child, std::vector<std::string>& warnings, Module& module);
void nameModule(const Block& block, Module& module);

}  // namespace vk::a2l
