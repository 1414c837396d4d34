// The OBJECT symbols of an ELF file as readelf shows them, each with the unit
// (the FILE symbol before it) it belongs to: an oracle for addresses that does
// not go through the tool's own ELF reader.
#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "readelf_output.h"

namespace vk::tool::testing_support {

struct ReadelfObject {
    std::string unit;  // empty before the first FILE symbol
    std::string name;
    std::uint64_t value = 0;
};

inline std::vector<ReadelfObject> readelfObjectList(const std::string& elf) {
    std::vector<ReadelfObject> objects;
    std::istringstream lines(vk::testing_support::readelfOutput("-sW", elf));
    std::string unit;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string num, value, size, type, bind, vis, ndx, name;
        if (!(fields >> num >> value >> size >> type >> bind >> vis >> ndx >> name)) continue;
        if (type == "FILE") unit = name;
        if (type == "OBJECT") objects.push_back({unit, name, std::stoull(value, nullptr, 16)});
    }
    return objects;
}

// The same_names fixture: two unit-local counters, a variable state in two
// namespaces, and variables of one name at one address.
struct SameNames {
    std::uint64_t counterA = 0;  // count_a.c
    std::uint64_t counterB = 0;  // count_b.c
    std::uint64_t fuelState = 0;
    std::uint64_t ignState = 0;
    std::uint64_t onlyHere = 0;
    std::uint64_t sharedGain = 0;  // defined in both C++ units
};

inline SameNames readelfSameNames(const std::string& elf) {
    SameNames s;
    for (const ReadelfObject& o : readelfObjectList(elf)) {
        if (o.name == "counter") (o.unit == "count_a.c" ? s.counterA : s.counterB) = o.value;
        if (o.name == "_ZN4fuel5stateE") s.fuelState = o.value;
        if (o.name == "_ZN3ign5stateE") s.ignState = o.value;
        if (o.name == "only_here") s.onlyHere = o.value;
        if (o.name == "shared_gain") s.sharedGain = o.value;
    }
    return s;
}

}  // namespace vk::tool::testing_support
