// Generate mode: reads the variable list, writes the generated A2L text to
// standard output or to the -o file, which it replaces only once the text reads back.
#include <cstdio>
#include <string>
#include <utility>

#include "tool/a2l_output.h"
#include "tool/file_path.h"
#include "tool/generate.h"
#include "tool/runs.h"

namespace vk::tool {
namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "error: %s\n", message.c_str());
    return 1;
}

int writeAndCheck(const Options& options, GeneratedA2l& generated) {
    const Result<Empty> written =
        writeLoadableA2l(options.output, std::move(generated.text), "generated A2L does not load: ");
    if (!written.ok()) return fail(written.error().message());
    std::fprintf(stderr, "%s: %zu measurement(s), %zu parameter(s)\n", options.output.c_str(),
                 static_cast<std::size_t>(generated.measurementCount),
                 static_cast<std::size_t>(generated.parameterCount));
    return 0;
}

}  // namespace

int runGenerate(const Options& options, const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug) {
    if (!options.output.empty()) {
        for (const auto& [input, role] :
             {std::pair{&options.elf, "ELF file"}, {&options.variables, "variable list"}}) {
            const Result<Empty> refused = refuseOutputOverInput(options.output, *input, role);
            if (!refused.ok()) return fail(refused.error().message());
        }
    }
    const Result<std::string> variableList = readInputFile(options.variables);
    if (!variableList.ok()) return fail(variableList.error().message());

    auto generated = generate(elf, debug, variableList.value(), options.defaultModuleName);
    if (!generated.ok()) return fail(generated.error().message());
    GeneratedA2l& result = generated.value();
    for (const std::string& warning : result.warnings) std::fprintf(stderr, "warning: %s\n", warning.c_str());

    if (options.output.empty()) {
        // A failed write (a closed pipe, a full disk) is no silent success.
        if (!writeA2lToStdout(result.text)) return fail("cannot write the A2L text to standard output");
        return 0;
    }
    return writeAndCheck(options, result);
}

}  // namespace vk::tool
