// Findings of the updater that no token rewrite can mend: what the update did
// not look at (included files), a module byte order that disagrees with the
// ELF file, and limits that a rewritten data type cannot hold. Each gives a
// line for the report's warnings; nothing here changes the text. Also the
// rule by which a data type written in the text still fits a variable.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "a2l/source_index.h"
#include "tool/a2l_datatype.h"
#include "tool/model_facts.h"

namespace vk::tool {

// One line per file that the text includes: its objects are not updated.
void noteIncludes(const std::vector<vk::a2l::SourceIndex::Include>& includes,
                  std::vector<std::string>& warnings);

// A line when the module's BYTE_ORDER is not the ELF file's byte order.
void noteByteOrder(const ModelFacts* model, bool elfLittleEndian, std::vector<std::string>& warnings);

// Whether the data type keyword written in the A2L text describes a variable
// of this type-table entry whose own data type is `keyword`.
bool sameDataType(const vk::elf::TypeInfo& type, std::string_view written, std::string_view keyword);

// The line for a MEASUREMENT whose data type becomes `type` while its limits
// (physical values, through its conversion) lie outside what the type holds;
// empty when they fit or the conversion is not a straight line.
std::optional<std::string> limitsWarning(const vk::a2l::SourceIndex::Object& object, std::string_view text,
                                         const DatatypeLimits& type, const ModelFacts* model);

}  // namespace vk::tool
