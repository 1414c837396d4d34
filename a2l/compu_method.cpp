#include "a2l/compu.h"
#include "a2l/field_reader.h"

namespace vk::a2l {

namespace {

// Fills values from the tokens after the first keyword at or after start.
// Returns whether the keyword occurs; throws message when it lacks numbers.
template <std::size_t N>
bool readCoefficients(const Block& block, std::uint64_t start, std::string_view keyword,
                      std::array<double, N>& values, const char* message) {
    const std::uint64_t i = indexAfterKeyword(block, start, keyword);
    if (i == kNoIndex) return false;
    if (block.tokens.size() - i < N) throw ObjectError{message};
    for (std::size_t k = 0; k < N; ++k) {
        const Token& token = block.tokens[i + k];
        if (token.kind != TokenKind::Number) throw ObjectError{message};
        values[k] = token.number;
    }
    return true;
}

void checkConversionType(const CompuMethod& method, bool hasLinear, bool hasCoeffs) {
    switch (method.conversionType) {
        case ConversionType::Linear:
            if (!hasLinear) throw ObjectError{"LINEAR without COEFFS_LINEAR"};
            break;
        case ConversionType::RatFunc:
            if (!hasCoeffs) throw ObjectError{"RAT_FUNC without COEFFS"};
            break;
        case ConversionType::TabIntp:
        case ConversionType::TabNoIntp:
        case ConversionType::TabVerb:
            if (method.compuTabRef.empty()) throw ObjectError{"table conversion without COMPU_TAB_REF"};
            break;
        case ConversionType::Form:
            if (method.formula.empty()) throw ObjectError{"FORM without FORMULA"};
            break;
        case ConversionType::Identical:
            break;
    }
}

}  // namespace

CompuMethod parseCompuMethod(const Block& block) {
    CompuMethod method;
    FieldReader reader(block);
    method.name = reader.word("name");
    method.longIdentifier = reader.string("long identifier");
    method.conversionType = parseConversionType(reader.word("conversion type"));
    method.format = reader.string("format");
    method.unit = reader.string("unit");
    const std::uint64_t p = reader.index;

    const bool hasLinear =
        readCoefficients(block, p, "COEFFS_LINEAR", method.coeffsLinear, "COEFFS_LINEAR needs 2 numbers");
    const bool hasCoeffs = readCoefficients(block, p, "COEFFS", method.coeffs, "COEFFS needs 6 numbers");
    method.compuTabRef = textAfterKeyword(block, p, "COMPU_TAB_REF");
    method.statusStringRef = textAfterKeyword(block, p, "STATUS_STRING_REF");

    if (const Block* formula = block.child("FORMULA")) {
        FieldReader formulaReader(*formula);
        method.formula = formulaReader.string("formula");
        method.formulaInv = textAfterKeyword(*formula, 1, "FORMULA_INV");
    }
    checkConversionType(method, hasLinear, hasCoeffs);
    return method;
}

}  // namespace vk::a2l
