#include "tool/list_mode.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "tool/pattern.h"
#include "tool/runs.h"

namespace vk::tool {

namespace {

// Lines are collected and written in blocks of about this size.
constexpr std::size_t kWriteBlock = std::size_t{1} << 16;

// snprintf into a string sized by a first, measuring call.
template <typename... Args>
std::string format(const char* pattern, Args... args) {
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, args...);
    return text;
}

// `text` up to its first NUL, as a "%s" conversion reads it, left-aligned in
// `width` columns.
void appendPadded(std::string& out, std::string_view text, std::size_t width) {
    const std::size_t end = text.find('\0');
    if (end != std::string_view::npos) text = text.substr(0, end);
    out += text;
    if (text.size() < width) out.append(width - text.size(), ' ');
}

// The type names of the leaves, each made once: one table holds every unit's
// own copies of the same few base types.
class TypeNames {
public:
    explicit TypeNames(const vk::elf::DebugInfo& debug) : debug_(debug) {}

    const std::string& of(std::int32_t type) {
        auto it = names_.find(type);
        if (it == names_.end()) it = names_.emplace(type, vk::elf::typeName(debug_, type)).first;
        return it->second;
    }

private:
    const vk::elf::DebugInfo& debug_;
    std::unordered_map<std::int32_t, std::string> names_;
};

}  // namespace

void appendListLine(std::string& out, const vk::elf::Variable& leaf, std::string_view typeName) {
    // "0x%08llX  %-3llu %-24s %s%s\n"; the address and size columns first,
    // into a buffer wide enough for both at their widest.
    char head[64] = "0x";
    char* p = head + 2;
    char hex[16];
    const char* hexEnd = std::to_chars(hex, hex + sizeof hex, leaf.address, 16).ptr;
    for (std::ptrdiff_t pad = 8 - (hexEnd - hex); pad > 0; --pad) *p++ = '0';
    for (const char* h = hex; h != hexEnd; ++h) *p++ = *h >= 'a' ? static_cast<char>(*h - 'a' + 'A') : *h;
    *p++ = ' ';
    *p++ = ' ';
    char* const sizeStart = p;
    p = std::to_chars(p, head + sizeof head, leaf.size).ptr;
    while (p - sizeStart < 3) *p++ = ' ';
    *p++ = ' ';
    out.append(head, static_cast<std::size_t>(p - head));
    appendPadded(out, typeName, 24);
    out += ' ';
    appendPadded(out, leaf.name, 0);
    if (leaf.isBitField) out += " (bit field)";
    out += '\n';
}

std::string listLine(const vk::elf::Variable& leaf, const std::string& typeName) {
    std::string line;
    appendListLine(line, leaf, typeName);
    return line;
}

std::string listSummary(std::size_t scalars, std::size_t variables, const vk::elf::ElfFile& elf) {
    const std::string machine = vk::elf::machineName(elf);
    return format("%zu scalar(s) in %zu variable(s), %s, %s endian\n", scalars, variables, machine.c_str(),
                  elf.littleEndian ? "little" : "big");
}

int runList(const Options& options, const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug) {
    std::size_t written = 0;
    bool complete = true;
    TypeNames typeNames(debug);
    std::string block;
    block.reserve(2 * kWriteBlock);
    auto flush = [&] {
        if (std::fwrite(block.data(), 1, block.size(), stdout) != block.size()) complete = false;
        block.clear();
    };
    const std::function<void(const vk::elf::Variable&)> print = [&](const vk::elf::Variable& leaf) {
        if (!options.pattern.empty() && !matchPattern(options.pattern, leaf.name)) return;
        appendListLine(block, leaf, typeNames.of(leaf.type));
        ++written;
        if (block.size() >= kWriteBlock) flush();
    };
    // What the pattern cannot match is not expanded; a leading star matches
    // every name.
    const std::string_view pattern = options.pattern;
    const vk::elf::WantedPrefix wanted = [pattern](std::string_view prefix) {
        return prefixCanMatch(pattern, prefix);
    };
    const bool pruned = !pattern.empty() && pattern[0] != '*';
    vk::elf::ExpansionBudget budget = vk::elf::expansionBudget(elf);
    std::vector<std::string> warnings;
    for (const vk::elf::GlobalVariable& global : debug.globals) {
        vk::elf::forEachLeaf(debug, global, options.maxArray, print, &budget, &warnings,
                             pruned ? &wanted : nullptr);
        if (!complete) break;
    }
    if (complete) flush();
    // A full disk or a closed pipe must not pass for a complete list.
    if (!complete || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fputs("error: cannot write the list to standard output\n", stderr);
        return 1;
    }
    for (const std::string& warning : debug.warnings) std::fprintf(stderr, "warning: %s\n", warning.c_str());
    for (const std::string& warning : warnings) std::fprintf(stderr, "warning: %s\n", warning.c_str());
    if (budget.reached) std::fprintf(stderr, "warning: %s\n", vk::elf::budgetReachedMessage(budget).c_str());
    const std::string summary = listSummary(written, debug.globals.size(), elf);
    std::fwrite(summary.data(), 1, summary.size(), stderr);
    return 0;
}

}  // namespace vk::tool
