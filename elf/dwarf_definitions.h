// Where a structure, union or enumeration that a unit only declares
// (DW_AT_declaration) is defined. Compilers describe a class in full in one
// unit (that of its constructor, key function or vtable) and declare it in
// the others; its definition is the one of the same kind and qualified name
// (enclosing namespaces and classes) elsewhere. Internal to the DWARF reader:
// the index is built at the first declaration that needs it, so debug
// information without such declarations (C) never pays for it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "elf/debug_info.h"

namespace vk::elf {

class DieAttrs;
class DwarfReader;

// A declaration's definition, or why it has none; `qualifiedName` ("a::Cfg")
// is filled when it has none, for the warning that names it.
struct Completion {
    std::uint32_t definition = 0xffffffffu;
    Definition outcome = Definition::Missing;
    std::string qualifiedName;
};

class DefinitionIndex {
public:
    // One walk over the scopes of every unit (namespaces and classes; the
    // bodies of functions are stepped over), keeping the key of the
    // qualified name of each named definition and declaration.
    explicit DefinitionIndex(const DwarfReader& reader);

    Completion find(std::uint32_t declaration);

private:
    enum class Scope : std::uint8_t { None, Namespace, Class, Union, Enum };
    // One step of a qualified name; an anonymous namespace is one per unit.
    struct Part {
        Scope scope = Scope::None;
        std::string_view name;
        std::uint32_t unit = 0;
    };
    // 12 bytes: the 64-bit key of a qualified name (its scopes, kinds and
    // names; two names share one only by a chance not worth a byte more)
    // and the DIE.
    struct Entry {
        std::uint32_t keyHigh = 0;
        std::uint32_t keyLow = 0;
        std::uint32_t die = 0;
        Entry() = default;
        Entry(std::uint64_t key, std::uint32_t d)
            : keyHigh(static_cast<std::uint32_t>(key >> 32)),
              keyLow(static_cast<std::uint32_t>(key)),
              die(d) {}
        std::uint64_t key() const { return std::uint64_t{keyHigh} << 32 | keyLow; }
    };
    struct Open {
        std::uint32_t end = 0;
        std::uint64_t key = 0;
    };

    static Scope scopeOf(std::uint16_t tag);
    static std::uint64_t extend(std::uint64_t key, const Part& part);
    void indexUnit(std::size_t unit, std::vector<Open>& open);
    bool partOf(std::uint32_t die, const DieAttrs& attrs, Part& part) const;
    bool qualifiedName(std::uint32_t die, std::vector<Part>& parts, int links) const;
    std::uint32_t parentOf(std::uint32_t die) const;
    std::uint64_t fingerprint(std::uint32_t die) const;
    std::string displayName(std::uint32_t die) const;

    const DwarfReader& r_;
    std::vector<Entry> definitions_;                       // by key, then DIE
    std::vector<Entry> declarations_;                      // by DIE
    std::unordered_map<std::uint64_t, Completion> found_;  // by key
    // Finding a parent descends from the unit's root; only definitions placed
    // by DW_AT_specification and the names in warnings need it, and the steps
    // of all such descents are bounded so that no file makes them quadratic.
    mutable std::uint64_t descentLeft_ = 0;
};

}  // namespace vk::elf
