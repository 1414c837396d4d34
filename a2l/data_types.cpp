#include "a2l/data_types.h"

#include <array>
#include <string>

#include "a2l/object_error.h"

namespace vk::a2l {

namespace {

struct DataTypeInfo {
    std::string_view keyword;
    std::uint32_t size;
    bool isSigned;
    bool isFloat;
};

// Indexed by the DataType value.
constexpr std::array<DataTypeInfo, 11> kDataTypes{{
    {"UBYTE", 1, false, false},
    {"SBYTE", 1, true, false},
    {"UWORD", 2, false, false},
    {"SWORD", 2, true, false},
    {"ULONG", 4, false, false},
    {"SLONG", 4, true, false},
    {"A_UINT64", 8, false, false},
    {"A_INT64", 8, true, false},
    {"FLOAT16_IEEE", 2, false, true},
    {"FLOAT32_IEEE", 4, false, true},
    {"FLOAT64_IEEE", 8, false, true},
}};

// Indexed by the ConversionType value less one.
constexpr std::array<std::string_view, 7> kConversionTypes{
    "IDENTICAL", "LINEAR", "RAT_FUNC", "TAB_INTP", "TAB_NOINTP", "TAB_VERB", "FORM",
};

const DataTypeInfo* infoOf(DataType type) {
    const auto index = static_cast<std::size_t>(type);
    return index < kDataTypes.size() ? &kDataTypes[index] : nullptr;
}

}  // namespace

DataType parseDataType(std::string_view keyword) {
    for (std::size_t i = 0; i < kDataTypes.size(); ++i) {
        if (kDataTypes[i].keyword == keyword) return static_cast<DataType>(i);
    }
    throw ObjectError{"unknown data type '" + std::string(keyword) + "'"};
}

ConversionType parseConversionType(std::string_view keyword) {
    for (std::size_t i = 0; i < kConversionTypes.size(); ++i) {
        if (kConversionTypes[i] == keyword) return static_cast<ConversionType>(i + 1);
    }
    throw ObjectError{"unknown conversion type '" + std::string(keyword) + "'"};
}

std::uint32_t dataTypeSize(DataType type) {
    const DataTypeInfo* info = infoOf(type);
    return info != nullptr ? info->size : 1;
}

bool isSigned(DataType type) {
    const DataTypeInfo* info = infoOf(type);
    return info != nullptr && info->isSigned;
}

bool isFloat(DataType type) {
    const DataTypeInfo* info = infoOf(type);
    return info != nullptr && info->isFloat;
}

std::string_view dataTypeName(DataType type) {
    const DataTypeInfo* info = infoOf(type);
    return info != nullptr ? info->keyword : "?";
}

}  // namespace vk::a2l
