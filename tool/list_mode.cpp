#include "tool/list_mode.h"

#include <cstdio>

#include "tool/pattern.h"
#include "tool/runs.h"

namespace vk::tool {

namespace {

// snprintf into a string sized by a first, measuring call.
template <typename... Args>
std::string format(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, args...);
    return text;
}

}  // namespace

std::string listLine(const vk::elf::Variable& leaf, const std::string& typeName) {
    return format("0x%08llX  %-3llu %-24s %s%s\n", static_cast<unsigned long long>(leaf.address),
                  static_cast<unsigned long long>(leaf.size), typeName.c_str(), leaf.name.c_str(),
                  leaf.isBitField ? " (bit field)" : "");
}

std::string listSummary(std::size_t scalars, std::size_t variables, const vk::elf::ElfFile& elf) {
    const std::string machine = vk::elf::machineName(elf);
    return format("%zu scalar(s) in %zu variable(s), %s, %s endian\n", scalars, variables, machine.c_str(),
                  elf.littleEndian ? "little" : "big");
}

int runList(const Options& options, const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug) {
    std::size_t written = 0;
    bool complete = true;
    for (const vk::elf::GlobalVariable& global : debug.globals) {
        for (const vk::elf::Variable& leaf :
             vk::elf::flattenVariable(debug, global, options.maxArray, nullptr)) {
            if (!options.pattern.empty() && !matchPattern(options.pattern, leaf.name)) continue;
            const std::string line = listLine(leaf, vk::elf::typeName(debug, leaf.type));
            if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size()) complete = false;
            ++written;
        }
        if (!complete) break;
    }
    // A full disk or a closed pipe must not pass for a complete list.
    if (!complete || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fputs("error: cannot write the list to standard output\n", stderr);
        return 1;
    }
    const std::string summary = listSummary(written, debug.globals.size(), elf);
    std::fwrite(summary.data(), 1, summary.size(), stderr);
    return 0;
}

}  // namespace vk::tool
