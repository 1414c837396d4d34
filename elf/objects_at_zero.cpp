#include "elf/objects_at_zero.h"

#include <cstdint>

namespace vk::elf {
namespace {

// Spans of the symbols are compared with the names by a polynomial hash,
// which prefix hashes give for any span at once; equal hashes are then
// confirmed by the text.
constexpr std::uint64_t kHashBase = 1099511628211ull;

std::uint64_t hashOf(std::string_view text) {
    std::uint64_t h = 0;
    for (unsigned char c : text) h = h * kHashBase + c;
    return h;
}

struct Hashed {
    NamedPlace place;
    std::uint64_t hash;  // hashOf(place.name)
};
struct ByHash {
    std::size_t operator()(const Hashed& h) const noexcept { return placeHash(h.hash, h.place.address); }
};
struct ByText {
    bool operator()(const Hashed& a, const Hashed& b) const noexcept { return a.place == b.place; }
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

ObjectsAtZero::ObjectsAtZero(const ElfFile& file, const std::vector<NamedPlace>& places) {
    std::unordered_set<std::uint64_t> addresses;
    for (const NamedPlace& p : places) addresses.insert(p.address);
    std::vector<Object> plain;
    std::vector<Object> mangled;
    for (Symbol& s : readSymbols(file)) {
        if (s.type != STT_OBJECT || s.shndx == 0 || addresses.count(s.value) == 0) continue;
        if (s.name.rfind("_Z", 0) == 0) mangled.push_back(Object{s.name, s.value});
        plain.push_back(Object{std::move(s.name), s.value});
    }
    if (plain.empty()) return;
    std::unordered_set<NamedPlace, NamedPlaceHash> equal;
    for (const Object& o : plain) equal.insert(NamedPlace{o.name, o.address});
    for (const NamedPlace& p : places)
        if (equal.count(p) != 0) found_.insert(p);
    if (!mangled.empty()) searchMangled(mangled, places);
}

// Finds each "<length><name>" in the mangled symbols: at every digit that
// can begin a length (no leading zero), each longer run of digits is one
// more length to try, and only lengths that some name has are hashed. A name
// found is no longer looked for: a symbol that holds it over and over would
// otherwise have the whole text compared at each place.
void ObjectsAtZero::searchMangled(const std::vector<Object>& symbols, const std::vector<NamedPlace>& places) {
    std::unordered_set<Hashed, ByHash, ByText> wanted;
    std::unordered_set<std::uint64_t> lengths;
    for (const NamedPlace& p : places) {
        if (p.name.empty() || found_.count(p) != 0) continue;
        wanted.insert(Hashed{p, hashOf(p.name)});
        lengths.insert(p.name.size());
    }
    if (wanted.empty()) return;
    std::vector<std::uint64_t> prefix;
    std::vector<std::uint64_t> power{1};
    for (const Object& symbol : symbols) {
        const std::string_view s = symbol.name;
        const std::size_t m = s.size();
        prefix.assign(m + 1, 0);
        for (std::size_t i = 0; i < m; ++i)
            prefix[i + 1] = prefix[i] * kHashBase + static_cast<unsigned char>(s[i]);
        while (power.size() <= m) power.push_back(power.back() * kHashBase);
        for (std::size_t p = 0; p < m; ++p) {
            if (s[p] < '1' || s[p] > '9') continue;
            std::uint64_t length = 0;
            // 19 digits cannot overflow; no span of the symbol is that long anyway.
            for (std::size_t q = p; q < m && q - p < 19 && isDigit(s[q]); ++q) {
                length = length * 10 + static_cast<std::uint64_t>(s[q] - '0');
                const std::size_t start = q + 1;
                if (length > m - start) break;
                if (lengths.count(length) == 0) continue;
                const std::uint64_t hash = prefix[start + length] - prefix[start] * power[length];
                const auto it = wanted.find(Hashed{{s.substr(start, length), symbol.address}, hash});
                if (it == wanted.end()) continue;
                found_.insert(it->place);
                wanted.erase(it);
                if (wanted.empty()) return;
            }
        }
    }
}

}  // namespace vk::elf
