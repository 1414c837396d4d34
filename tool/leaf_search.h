// Finds the scalar leaves of an ELF file's global variables that an A2L text
// names, exactly, through their alias or through the identifier the generator
// gives them, without expanding the rest. Flattening everything with the
// updater's array limit would let a small file with nested arrays of a million
// elements each outgrow any memory; this search expands only the parts whose
// names lead to a wanted key, and only small parts whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "elf/debug_info.h"
#include "elf/flatten.h"

namespace vk::tool {

inline constexpr std::size_t kNoLeaf = ~std::size_t{0};

struct LeafMatches {
    std::deque<vk::elf::Variable> leaves;  // only those that some key names; never moved
    // Per key, by its position in the key list: the first leaf in flattening order
    // whose name is the key, and the first whose alias is the key; kNoLeaf if none.
    std::vector<std::size_t> exact;
    std::vector<std::size_t> alias;
    // For the few keys that such a leaf leads to, by key position: the first leaf
    // whose name is no A2L identifier but whose identifier (makeA2lIdentifier)
    // is the key. A name that is its own identifier is found as itself.
    std::unordered_map<std::size_t, std::size_t> identifier;
    // Per later leaf named (aliased, identified) like a key but at another address
    // than that key's first leaf of the kind: the key's position and the address.
    // Names are mostly unique, so these stay short.
    std::vector<std::pair<std::size_t, std::uint64_t>> exactElsewhere;
    std::vector<std::pair<std::size_t, std::uint64_t>> aliasElsewhere;
    std::vector<std::pair<std::size_t, std::uint64_t>> identifierElsewhere;
};

// The same leaves, in the same order of precedence, as expanding every global with
// vk::elf::flattenVariable (the given array limit, no warnings) and searching the
// result, though without their typedef names. `keys` must be sorted and free of
// duplicates. Parts of at most `wholeLeaves` leaves are expanded whole (pruning
// them costs more than it saves), larger ones split by member and element.
LeafMatches findLeaves(const vk::elf::DebugInfo& debug, const std::vector<std::string_view>& keys,
                       std::uint64_t arrayLimit, std::uint64_t wholeLeaves = 16);

// The name with every "[" turned into "_" and every "]" removed: the alias under
// which an A2L text may name an array element (a.b[3].c[1][2] gives a.b_3.c_1_2).
std::string flattenIndices(std::string_view name);

}  // namespace vk::tool
