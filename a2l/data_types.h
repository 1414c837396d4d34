// The enumerations of A2L text (data types, conversion types, byte orders) with
// their keyword tables and the properties of the data types.
#pragma once

#include <cstdint>
#include <string_view>

namespace vk::a2l {

enum class DataType : std::uint8_t {
    UByte = 0,         // UBYTE
    SByte = 1,         // SBYTE
    UWord = 2,         // UWORD
    SWord = 3,         // SWORD
    ULong = 4,         // ULONG
    SLong = 5,         // SLONG
    AUint64 = 6,       // A_UINT64
    AInt64 = 7,        // A_INT64
    Float16Ieee = 8,   // FLOAT16_IEEE
    Float32Ieee = 9,   // FLOAT32_IEEE
    Float64Ieee = 10,  // FLOAT64_IEEE
};

// No keyword maps to 0.
enum class ConversionType : std::uint8_t {
    Identical = 1,  // IDENTICAL
    Linear = 2,     // LINEAR
    RatFunc = 3,    // RAT_FUNC
    TabIntp = 4,    // TAB_INTP
    TabNoIntp = 5,  // TAB_NOINTP
    TabVerb = 6,    // TAB_VERB
    Form = 7,       // FORM
};

// The words BIG_ENDIAN and LITTLE_ENDIAN map to MsbLast and MsbFirst respectively,
// the opposite of what their names suggest; files in circulation rely on it.
enum class ByteOrder : std::uint8_t {
    MsbLast = 0,   // MSB_LAST, BIG_ENDIAN: least significant byte first
    MsbFirst = 1,  // MSB_FIRST, LITTLE_ENDIAN: most significant byte first
};

// Exact, case-sensitive keyword lookups; both throw ObjectError ("unknown data
// type 'X'", "unknown conversion type 'X'") for any other text.
DataType parseDataType(std::string_view keyword);
ConversionType parseConversionType(std::string_view keyword);

std::uint32_t dataTypeSize(DataType type);  // 1, 2, 4 or 8; 1 when out of range
bool isSigned(DataType type);
bool isFloat(DataType type);
// The keyword (a NUL-terminated literal), or "?" when out of range.
std::string_view dataTypeName(DataType type);

}  // namespace vk::a2l
