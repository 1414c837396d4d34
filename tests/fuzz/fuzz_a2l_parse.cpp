// Arbitrary text through the A2L reader into the object model, as the
// self-check of generate and update mode and the updater's layout checks
// read it; every lookup of the loaded modules is exercised once.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "a2l/project.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto project = vk::a2l::parse(text);
    if (!project.ok()) return 0;
    for (const vk::a2l::Module& module : project.value().modules) {
        for (const auto& m : module.measurements) (void)module.findMeasurement(m.name);
        for (const auto& c : module.characteristics) {
            (void)module.findCharacteristic(c.name);
            (void)module.findRecordLayout(c.deposit);
        }
        for (const auto& a : module.axisPts) (void)module.findAxisPts(a.name);
        for (const auto& c : module.compuMethods) (void)module.findCompuMethod(c.name);
    }
    return 0;
}
