// What readelf prints for an ELF file: the oracle of the tests that check
// addresses and byte orders without the tool's own ELF reader. Where readelf
// does not run (the Windows build under wine) the text saved for each fixture
// by scripts/windows-test.sh is read instead.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vk::testing_support {

// `options` is "-h" (the file header) or "-sW" (the symbol tables).
inline std::string readelfOutput(const std::string& options, const std::string& path) {
#if defined(_WIN32)
    const std::string saved =
        std::string(VK_READELF_DIR) + "/" + std::filesystem::path(path).filename().string() + options;
    std::ifstream in(saved, std::ios::binary);
    if (!in) ADD_FAILURE() << "no readelf output saved in " << saved;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
#else
    std::string text;
    FILE* p = popen(("readelf " + options + " '" + path + "'").c_str(), "r");
    if (p == nullptr) return text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, n);
    pclose(p);
    return text;
#endif
}

}  // namespace vk::testing_support
