#include "tool/generate.h"

#include <exception>

#include "tool/a2l_writer.h"
#include "tool/selection.h"
#include "tool/variable_list.h"

namespace vk::tool {

Result<GeneratedA2l> generate(const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug,
                              std::string_view variableList, const std::string& defaultModuleName) {
    try {
        const VariableList list = readVariableList(variableList, defaultModuleName);
        vk::elf::ExpansionBudget budget = vk::elf::expansionBudget(elf);
        Selection selection = selectItems(debug, list.variables, list.maxArrayElements, &budget);
        GeneratedA2l result = writeA2l(list, selection.items, debug, elf.littleEndian);
        std::vector<std::string> written = std::move(result.warnings);
        result.warnings = debug.warnings;
        result.warnings.insert(result.warnings.end(), selection.warnings.begin(), selection.warnings.end());
        result.warnings.insert(result.warnings.end(), written.begin(), written.end());
        return result;
    } catch (const std::exception& e) {
        return makeError(ErrorCode::InvalidArgument, std::string("variable list: ") + e.what());
    }
}

}  // namespace vk::tool
