// The exception of the DWARF reader. Internal to the reader's source files:
// no public header includes this one, and loadDwarf turns every ParseError
// into an error result before it returns.
#pragma once

#include <stdexcept>
#include <string>

namespace vk::elf {

class ParseError : public std::runtime_error {
public:
    explicit ParseError(const std::string& message) : std::runtime_error(message) {}
};

[[noreturn]] void throwTruncated();

}  // namespace vk::elf
