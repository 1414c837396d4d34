#include "elf/debug_info.h"

#include <unordered_map>

namespace vk::elf {

DebugInfo::DebugInfo(const DebugInfo& other)
    : types(other.types),
      undefined(other.undefined),
      globals(other.globals),
      strings(other.strings),
      warnings(other.warnings),
      addressSize(other.addressSize) {
    // The copied views still point into the other store: each text is kept
    // again, once however many entries name it.
    std::unordered_map<std::string_view, std::string_view> kept;
    const auto repoint = [&](std::string_view& name) {
        if (name.empty()) return;
        auto it = kept.find(name);
        if (it == kept.end()) {
            const std::string_view own = names.keep(name);
            it = kept.emplace(own, own).first;
        }
        name = it->second;
    };
    for (TypeInfo& t : types) {
        repoint(t.name);
        for (Member& m : t.members) repoint(m.name);
        for (Enumerator& e : t.enumerators) repoint(e.name);
    }
    for (GlobalVariable& g : globals) {
        repoint(g.name);
        repoint(g.unitName);
    }
}

DebugInfo& DebugInfo::operator=(const DebugInfo& other) {
    if (this != &other) *this = DebugInfo(other);
    return *this;
}

}  // namespace vk::elf
