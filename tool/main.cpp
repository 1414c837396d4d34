// vk-quillet: lists the scalar variables of an ELF file, generates an A2L
// file from a JSON variable list, or updates an existing A2L file in place.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "elf/debug_info.h"
#include "elf/elf_file.h"
#include "tool/file_path.h"
#include "tool/options.h"
#include "tool/runs.h"

namespace {

void declareOptions(CLI::App& app, vk::tool::Options& options) {
    app.add_option("elf", options.elf, "ELF file with debug information (-g)")->required();
    app.add_option("-v,--variables", options.variables, "Variable list (JSON)");
    app.add_option("-o,--output", options.output, "A2L file to write (default: stdout)");
    app.add_flag("-l,--list", options.list, "List the variables of the ELF file");
    app.add_option("pattern", options.pattern, "--list: only names matching this pattern (* ?)");
    app.add_option("--max-array", options.maxArray, "--list: array elements shown per array")
        ->capture_default_str();
    app.add_option("-u,--update", options.update,
                   "Existing A2L: update its addresses and data types from the ELF");
    app.add_flag("--details", options.details, "--update: list every change and every object not found");
}

int fail(const vk::Error& error) {
    std::fprintf(stderr, "error: %s\n", error.message().c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    vk::tool::Options options;
    CLI::App app{"vk-quillet - A2L from ELF/DWARF"};
    declareOptions(app, options);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    options.defaultModuleName = vk::tool::fileStem(options.elf);

    auto path = vk::tool::pathFromArgument(options.elf);
    if (!path.ok()) return fail(path.error());
    auto elf = vk::elf::loadElf(path.value());
    if (!elf.ok()) return fail(elf.error());
    auto debug = vk::elf::loadDwarf(elf.value());
    if (!debug.ok()) return fail(debug.error());

    switch (vk::tool::chooseMode(options)) {
        case vk::tool::Mode::Update:
            return vk::tool::runUpdate(options, elf.value(), debug.value());
        case vk::tool::Mode::List:
            return vk::tool::runList(options, elf.value(), debug.value());
        case vk::tool::Mode::Generate:
            return vk::tool::runGenerate(options, elf.value(), debug.value());
    }
    return 1;
}
