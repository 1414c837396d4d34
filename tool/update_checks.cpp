#include "tool/update_checks.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "a2l/data_types.h"
#include "a2l/token.h"
#include "tool/a2l_format.h"

namespace vk::tool {
namespace {

using vk::a2l::ByteOrder;
using Object = vk::a2l::SourceIndex::Object;

std::string byteOrderText(ByteOrder order) {
    return order == ByteOrder::MsbFirst ? "MSB_FIRST (big-endian)" : "MSB_LAST (little-endian)";
}

std::optional<LinearConversion> conversionOf(const Object& object, const ModelFacts* model) {
    if (object.conversion == "NO_COMPU_METHOD") return LinearConversion{};
    if (model == nullptr) return std::nullopt;
    return model->linearConversion(object.conversion);
}

// The floating types hold up to their true extremes, not the rounded limits
// that the generator writes, so that a limit of FLT_MAX still fits.
std::pair<double, double> rawRange(const DatatypeLimits& type) {
    if (type.keyword == "FLOAT32_IEEE")
        return {-std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
    if (type.keyword == "FLOAT64_IEEE")
        return {-std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    return {type.lower, type.upper};
}

// Limits are written with ten significant digits or fewer; a bound computed
// through a factor may miss the written one in its last bits.
double slack(double bound) {
    return 1e-9 * std::max(1.0, std::fabs(bound));
}

std::optional<vk::a2l::DataType> dataTypeNamed(std::string_view keyword) {
    for (std::uint8_t i = 0; i <= static_cast<std::uint8_t>(vk::a2l::DataType::Float64Ieee); ++i) {
        const auto type = static_cast<vk::a2l::DataType>(i);
        if (vk::a2l::dataTypeName(type) == keyword) return type;
    }
    return std::nullopt;
}

// Whether an integer type of at most 4 bytes holds every enumerator.
bool holdsEnumerators(vk::a2l::DataType type, const vk::elf::TypeInfo& enumeration) {
    const unsigned bits = 8 * vk::a2l::dataTypeSize(type);
    const std::int64_t lower = vk::a2l::isSigned(type) ? -(std::int64_t{1} << (bits - 1)) : 0;
    const std::int64_t upper = (std::int64_t{1} << (bits - (vk::a2l::isSigned(type) ? 1 : 0))) - 1;
    return std::all_of(enumeration.enumerators.begin(), enumeration.enumerators.end(),
                       [&](const vk::elf::Enumerator& e) { return e.value >= lower && e.value <= upper; });
}

std::string_view spanText(std::string_view text, const vk::a2l::TokenSpan& span) {
    return text.substr(static_cast<std::size_t>(span.offset), span.length);
}

// A number token read again as the lexer read it; the index keeps no values,
// which only the rare rewritten data type needs.
double numberAt(std::string_view text, const vk::a2l::TokenSpan& span) {
    return vk::a2l::classifyWord(spanText(text, span), 0).number;
}

}  // namespace

// An enumeration's signedness follows its values, which a hand-written A2L may
// see differently: the other signedness of the same size does as well while it
// holds every value (SBYTE for 0 and 100, not for 200). The 64-bit types,
// whose keywords differ in length, were never taken for each other.
bool sameDataType(const vk::elf::TypeInfo& type, std::string_view written, std::string_view keyword) {
    if (written == keyword) return true;
    if (type.kind != vk::elf::TypeKind::Enum || written.empty() || written.size() != keyword.size() ||
        written.substr(1) != keyword.substr(1))
        return false;
    const std::optional<vk::a2l::DataType> other = dataTypeNamed(written);
    return other && !vk::a2l::isFloat(*other) && vk::a2l::dataTypeSize(*other) <= 4 &&
           holdsEnumerators(*other, type);
}

void noteIncludes(const std::vector<vk::a2l::SourceIndex::Include>& includes,
                  std::vector<std::string>& warnings) {
    for (const auto& include : includes)
        warnings.push_back(printable(include.file) +
                           ": included file not followed (its objects are not updated - check)");
}

void noteByteOrder(const ModelFacts* model, bool elfLittleEndian, std::vector<std::string>& warnings) {
    if (model == nullptr || !model->byteOrder()) return;
    const ByteOrder elf = elfLittleEndian ? ByteOrder::MsbLast : ByteOrder::MsbFirst;
    if (*model->byteOrder() == elf) return;
    warnings.push_back(printable(model->moduleName()) + ": BYTE_ORDER " + byteOrderText(*model->byteOrder()) +
                       " in the A2L, " + (elfLittleEndian ? "little" : "big") +
                       "-endian in the ELF (not changed - check)");
}

std::optional<std::string> limitsWarning(const Object& object, std::string_view text,
                                         const DatatypeLimits& type, const ModelFacts* model) {
    if (!object.limitsAreNumbers) return std::nullopt;
    const std::optional<LinearConversion> line = conversionOf(object, model);
    if (!line) return std::nullopt;
    const auto [rawLow, rawHigh] = rawRange(type);
    double low = line->factor * rawLow + line->offset;
    double high = line->factor * rawHigh + line->offset;
    if (low > high) std::swap(low, high);
    const double lower = numberAt(text, object.lowerLimitToken);
    const double upper = numberAt(text, object.upperLimitToken);
    if (lower >= low - slack(low) && upper <= high + slack(high)) return std::nullopt;
    return object.name + ": limits " + std::string(spanText(text, object.lowerLimitToken)) + " " +
           std::string(spanText(text, object.upperLimitToken)) + " outside the range of " +
           std::string(type.keyword) + " (" + formatNumber(low) + " to " + formatNumber(high) +
           "; not changed - check)";
}

}  // namespace vk::tool
