// An arbitrary variable list through generate mode over a fixed fixture ELF.
// The generated text must load, or the -o self-check would reject the
// tool's own output.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "a2l/project.h"
#include "fuzz_fixture.h"
#include "tool/generate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vk::fuzz::Firmware& firmware = vk::fuzz::firmware("generate_cases");
    const std::string_view list(reinterpret_cast<const char*>(data), size);
    auto generated = vk::tool::generate(firmware.elf, firmware.debug, list, "fuzz");
    if (!generated.ok()) return 0;
    auto reloaded = vk::a2l::parse(generated.value().text);
    if (!reloaded.ok()) {
        std::fprintf(stderr, "generated A2L does not load: %s\n", reloaded.error().message().c_str());
        std::abort();
    }
    return 0;
}
