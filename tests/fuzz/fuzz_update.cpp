// An arbitrary A2L text through update mode over a fixed fixture ELF. Only
// tokens are replaced, so a text that loaded before must load after.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "a2l/project.h"
#include "fuzz_fixture.h"
#include "tool/updater.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vk::fuzz::Firmware& firmware = vk::fuzz::firmware("update_after");
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto report = vk::tool::update(firmware.elf, firmware.debug, text);
    if (!report.ok()) return 0;
    if (!vk::a2l::parse(text).ok()) return 0;
    auto reloaded = vk::a2l::parse(report.value().text);
    if (!reloaded.ok()) {
        std::fprintf(stderr, "updated A2L does not load: %s\n", reloaded.error().message().c_str());
        std::abort();
    }
    return 0;
}
