// Update mode: rewrites the addresses and data types of the -u file from the ELF
// file, prints the report to standard error and writes the new text to standard
// output or, through a temporary file that must read back, to the -o file.
#include <cstdio>
#include <string>
#include <vector>

#include "tool/a2l_output.h"
#include "tool/file_path.h"
#include "tool/runs.h"
#include "tool/updater.h"

namespace vk::tool {
namespace {

constexpr std::size_t kShortList = 10;

int fail(const Error& error) {
    std::fprintf(stderr, "error: %s\n", error.message().c_str());
    return 1;
}

void printTitledList(bool details, const char* title, const std::vector<std::string>& list) {
    if (list.empty()) return;
    std::fprintf(stderr, "%s (%zu):\n", title, list.size());
    const std::size_t shown = details || list.size() <= kShortList ? list.size() : kShortList;
    for (std::size_t i = 0; i < shown; ++i) std::fprintf(stderr, "  %s\n", list[i].c_str());
    if (shown < list.size()) std::fputs("  ... (--details for all)\n", stderr);
}

void printReport(const Options& options, const UpdateReport& report) {
    printTitledList(options.details, "changed", report.changed);
    printTitledList(options.details, "not in the ELF (left unchanged)", report.notInElf);
    printTitledList(options.details, "warnings", report.warnings);
    std::fprintf(stderr,
                 "%zu object(s): %zu address(es) changed, %zu unchanged, %zu not found, %zu warning(s)\n",
                 static_cast<std::size_t>(report.objects), static_cast<std::size_t>(report.addressesChanged),
                 static_cast<std::size_t>(report.unchanged), report.notInElf.size(), report.warnings.size());
}

// -o may name the -u file: it is replaced only once the new text is complete
// and reads back.
int writeAndCheck(const Options& options, std::string& text) {
    const Result<Empty> written =
        writeLoadableA2l(options.output, std::move(text), "updated A2L does not load: ");
    if (!written.ok()) return fail(written.error());
    std::fprintf(stderr, "written to %s\n", options.output.c_str());
    return 0;
}

}  // namespace

int runUpdate(const Options& options, const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug) {
    // The -u file may be the -o file: that is an update in place.
    if (!options.output.empty()) {
        const Result<Empty> refused = refuseOutputOverInput(options.output, options.elf, "ELF file");
        if (!refused.ok()) return fail(refused.error());
    }
    Result<std::string> input = readInputFile(options.update);
    if (!input.ok()) return fail(input.error());
    Result<UpdateReport> report = update(elf, debug, input.value());
    std::string().swap(input.value());  // the report holds the new text
    if (!report.ok()) return fail(report.error());
    printReport(options, report.value());
    if (options.output.empty()) {
        // A full disk behind a redirection is no success.
        if (!writeA2lToStdout(report.value().text)) {
            std::fputs("error: cannot write the A2L text to standard output\n", stderr);
            return 1;
        }
        return 0;
    }
    return writeAndCheck(options, report.value().text);
}

}  // namespace vk::tool
