// loadDwarf, the reader's entry point, and the walks over the finished type
// table that the flattening relies on.
#include "elf/debug_info.h"
#include "elf/dwarf_reader.h"

namespace vk::elf {
namespace {

constexpr int kMaxAliasMoves = 64;
constexpr int kMaxTypedefNames = 32;

bool valid(const std::vector<TypeInfo>& types, std::int32_t index) {
    return index >= 0 && static_cast<std::size_t>(index) < types.size();
}

bool isAlias(TypeKind kind) {
    return kind == TypeKind::Typedef || kind == TypeKind::Qualified;
}

constexpr std::uint64_t SHF_COMPRESSED = 0x800;

// The first debug section the reader uses that is compressed, by the flag
// (-gz) or in the older form of a ".zdebug" section in place of the plain one;
// null when none is. Its bytes would read as garbage.
const Section* compressedDebugSection(const ElfFile& file) {
    for (std::string_view name : {".debug_info", ".debug_abbrev", ".debug_str", ".debug_line_str",
                                  ".debug_str_offsets", ".debug_addr"}) {
        const Section* plain = findSection(file, name);
        if (plain != nullptr && (plain->flags & SHF_COMPRESSED)) return plain;
        if (plain == nullptr) {
            const Section* old = findSection(file, std::string(".z") + std::string(name.substr(1)));
            if (old != nullptr) return old;
        }
    }
    return nullptr;
}

}  // namespace

Result<DebugInfo> loadDwarf(const ElfFile& file) {
    if (const Section* compressed = compressedDebugSection(file))
        return makeError(ErrorCode::Unsupported, "compressed DWARF debug information (" + compressed->name +
                                                     ") - build without -gz, or decompress it with "
                                                     "objcopy --decompress-debug-sections");
    DwarfReader reader(file);
    if (!reader.hasDebugInfo())
        return makeError(ErrorCode::NotFound, "no DWARF debug information (.debug_info) - build with -g");
    try {
        reader.parseUnits();
        reader.collectGlobals();
    } catch (const ParseError& e) {
        return makeError(ErrorCode::InvalidArgument, std::string("DWARF: ") + e.what());
    }
    return reader.takeResult();
}

std::int32_t resolveAlias(const std::vector<TypeInfo>& types, std::int32_t index) {
    for (int move = 0; move < kMaxAliasMoves && valid(types, index); ++move) {
        const TypeInfo& t = types[static_cast<std::size_t>(index)];
        if (!isAlias(t.kind)) break;
        index = t.target;
    }
    return index;
}

std::uint64_t byteSize(const std::vector<TypeInfo>& types, std::int32_t index) {
    if (!valid(types, index)) return 0;
    const TypeInfo* t = &types[static_cast<std::size_t>(index)];
    for (int move = 0; move < kMaxAliasMoves && t->byteSize == 0; ++move) {
        if (!isAlias(t->kind) && t->kind != TypeKind::Enum) break;
        if (!valid(types, t->target)) break;
        t = &types[static_cast<std::size_t>(t->target)];
    }
    return t->byteSize;
}

std::vector<std::string> typedefNames(const std::vector<TypeInfo>& types, std::int32_t index) {
    std::vector<std::string> names;
    for (int n = 0; n < kMaxTypedefNames && valid(types, index); ++n) {
        const TypeInfo& t = types[static_cast<std::size_t>(index)];
        if (t.kind == TypeKind::Typedef)
            names.emplace_back(t.name);
        else if (t.kind != TypeKind::Qualified)
            break;
        index = t.target;
    }
    return names;
}

}  // namespace vk::elf
