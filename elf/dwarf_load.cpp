// loadDwarf, the reader's entry point, and the walks over the finished type
// table that the flattening relies on.
#include <algorithm>

#include "elf/debug_info.h"
#include "elf/dwarf_error.h"
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

bool hasSection(const ElfFile& file, std::string_view name) {
    const Section* s = findSection(file, name);
    return s != nullptr && s->size != 0;
}

// Debug information in a form the reader does not read, found by its
// sections; the message for it, empty when there is none. A .dwo file is a
// relocatable object too, but the split form is the one to name.
std::string unreadForm(const ElfFile& file) {
    if (hasSection(file, ".debug_info.dwo")) return splitDwarfText(".debug_info.dwo");
    if (file.type == ET_REL)
        return "relocatable object (ELF type ET_REL): not linked, its addresses are not final - "
               "give the linked ELF file";
    if (const Section* compressed = compressedDebugSection(file))
        return "compressed DWARF debug information (" + compressed->name +
               ") - build without -gz, or decompress it with objcopy --decompress-debug-sections";
    if (hasSection(file, ".debug_types")) return typeUnitsText(".debug_types");
    return {};
}

// The file name that .gnu_debuglink holds, up to its terminating zero.
std::string debugLinkName(const ElfFile& file) {
    const ByteView link = sectionData(file, ".gnu_debuglink");
    std::string name;
    for (std::uint8_t c : link) {
        if (c == 0) break;
        name += static_cast<char>(c);
    }
    return name;
}

Error missingDebugInfo(const ElfFile& file) {
    if (const std::string link = debugLinkName(file); !link.empty())
        return makeError(
            ErrorCode::NotFound,
            "debug information in a separate file (.gnu_debuglink) - give the debug file " + link);
    if (hasSection(file, ".stab"))
        return makeError(ErrorCode::Unsupported, "STABS debug information (.stab) - build with -gdwarf-4");
    return makeError(ErrorCode::NotFound, "no DWARF debug information (.debug_info) - build with -g");
}

}  // namespace

Result<DebugInfo> loadDwarf(const ElfFile& file) {
    if (const std::string unread = unreadForm(file); !unread.empty())
        return makeError(ErrorCode::Unsupported, unread);
    DwarfReader reader(file);
    if (!reader.hasDebugInfo()) return missingDebugInfo(file);
    try {
        reader.parseUnits();
        reader.collectGlobals();
    } catch (const UnreadForm& e) {
        return makeError(ErrorCode::Unsupported, e.what());
    } catch (const ParseError& e) {
        return makeError(ErrorCode::InvalidArgument, std::string("DWARF: ") + e.what());
    }
    DebugInfo info = reader.takeResult();
    // Units of plain -g on some targets; others (a library's) may have DWARF.
    if (hasSection(file, ".stab"))
        info.warnings.emplace_back(
            "STABS debug information (.stab) is not read: the variables of its units are not listed - "
            "build with -gdwarf-4");
    return info;
}

Definition definitionOf(const DebugInfo& debug, std::int32_t index) {
    const auto it = std::lower_bound(debug.undefined.begin(), debug.undefined.end(), index,
                                     [](const auto& entry, std::int32_t i) { return entry.first < i; });
    return it != debug.undefined.end() && it->first == index ? it->second : Definition::Found;
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
