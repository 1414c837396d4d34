// The exceptions of the DWARF reader. Internal to the reader's source files:
// no public header includes this one, and loadDwarf turns each into an error
// result before it returns.
#pragma once

#include <stdexcept>
#include <string>

namespace vk::elf {

class ParseError : public std::runtime_error {
public:
    explicit ParseError(const std::string& message) : std::runtime_error(message) {}
};

// Debug information of a form the reader does not read, whose variables are
// elsewhere (type units, split DWARF); the message is the whole error line.
class UnreadForm : public std::runtime_error {
public:
    explicit UnreadForm(const std::string& message) : std::runtime_error(message) {}
};

// The messages of the two forms, with what showed them: a section or a unit
// header's code.
inline std::string typeUnitsText(const std::string& found) {
    return "DWARF type units (" + found + ") - build without -fdebug-types-section";
}
inline std::string splitDwarfText(const std::string& found) {
    return "split DWARF debug information (" + found + ") - build without -gsplit-dwarf";
}

[[noreturn]] void throwTruncated();

}  // namespace vk::elf
