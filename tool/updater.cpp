#include "tool/updater.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "a2l/char_classes.h"
#include "a2l/project.h"
#include "a2l/source_index.h"
#include "tool/a2l_datatype.h"
#include "tool/a2l_format.h"
#include "tool/left_out_names.h"
#include "tool/model_facts.h"
#include "tool/name_map.h"
#include "tool/update_checks.h"

namespace vk::tool {
namespace {

using vk::a2l::ObjectKind;
using Object = vk::a2l::SourceIndex::Object;

constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;

// Walks the indexed objects and collects the edits and report lines; the
// counters and lists go straight into the report.
class ObjectUpdater {
public:
    ObjectUpdater(std::string_view text, const vk::elf::DebugInfo& debug, const NameMap& names,
                  LeftOutNames& leftOut, const ModelFacts* model, UpdateReport& report)
        : text_(text), debug_(debug), names_(names), leftOut_(leftOut), model_(model), report_(report) {}

    void examine(const Object& object) {
        ++report_.objects;
        const AddressEntry* entry = names_.find(object.name);
        // What the symbol table alone finds as a scalar, the debug information
        // may still hold, left out of the expansion, which says more.
        if (entry == nullptr || (entry->variable == nullptr && scalarKind(object))) {
            if (const std::string warning = leftOut_.warningFor(object.name); !warning.empty()) {
                reportLeftOut(object, warning);
                return;
            }
        }
        if (entry == nullptr) {
            report_.notInElf.push_back(object.name);
            return;
        }
        if (const std::vector<std::uint64_t> addresses = names_.ambiguousAddresses(object.name);
            !addresses.empty()) {
            reportAmbiguous(object, addresses);
            return;
        }
        checkAddress(object, *entry);
        if (entry->variable == nullptr) {  // symbol table only: no scalar to compare with
            checkSymbolVariable(object);
            return;
        }
        if (object.kind == ObjectKind::Measurement) {
            checkDataType(object, *entry);
            checkBitMask(object, *entry);
        } else if (object.kind == ObjectKind::Characteristic) {
            checkRecordLayout(object, *entry);
            checkBitMask(object, *entry);
        }
    }

    std::vector<TextEdit> takeEdits() { return std::move(edits_); }

private:
    static bool scalarKind(const Object& object) {
        return object.kind == ObjectKind::Measurement ||
               (object.kind == ObjectKind::Characteristic && object.characteristicType == "VALUE");
    }

    static bool isScalar(const Object& object, const AddressEntry& entry) {
        return entry.variable != nullptr && scalarKind(object);
    }

    // A token of one byte that is no word character (a data type written as "@")
    // may touch a word; a blank keeps the new token from joining it, which would
    // change the tokens around it and could break the block structure.
    void edit(const vk::a2l::TokenSpan& span, std::string replacement) {
        const auto begin = static_cast<std::uint64_t>(span.offset);
        const std::uint64_t end = begin + span.length;
        if (begin > 0 && begin <= text_.size() && vk::a2l::isWordChar(text_[begin - 1]))
            replacement.insert(0, " ");
        if (end < text_.size() && vk::a2l::isWordChar(text_[end])) replacement += ' ';
        edits_.push_back(TextEdit{begin, span.length, std::move(replacement)});
    }

    // Several variables of one name (statics of several units, namespace or class
    // members, which names do not tell apart): whichever is chosen may be the
    // wrong one, so nothing of the object is touched.
    void reportAmbiguous(const Object& object, const std::vector<std::uint64_t>& addresses) {
        ++report_.unchanged;
        std::string line = object.name + ": ";
        if (object.addressToken.present()) line += "address " + hexAddress(object.address) + " in the A2L, ";
        line += std::to_string(addresses.size()) + " variables of this name in the ELF at ";
        for (std::size_t i = 0; i < addresses.size(); ++i) line += (i ? ", " : "") + hexAddress(addresses[i]);
        report_.warnings.push_back(line + " (ambiguous, not changed - check)");
    }

    // A variable that the ELF file holds but no scalar describes: saying it
    // is not there would send the user looking for a rename.
    void reportLeftOut(const Object& object, const std::string& warning) {
        ++report_.unchanged;
        const std::optional<vk::elf::LeftOutValue> value = vk::elf::leftOutValue(warning);
        const bool itself = value && value->name == object.name;
        report_.warnings.push_back(object.name +
                                   (itself ? warning.substr(object.name.size()) : ": under " + warning) +
                                   " (not changed - check)");
    }

    void checkAddress(const Object& object, const AddressEntry& entry) {
        const std::uint64_t old = object.address;
        const bool differs = object.addressToken.present() && old != entry.address;
        if (!isScalar(object, entry)) {
            ++report_.unchanged;
            if (differs) {
                report_.warnings.push_back(
                    object.name + ": address " + hexAddress(old) + " in the A2L, " +
                    hexAddress(entry.address) + " for '" + object.name + "' in the ELF (" +
                    (entry.variable ? "not a scalar" : "symbol table only") + ", not changed - check)");
            }
            return;
        }
        if (!differs) {
            ++report_.unchanged;
        } else if (entry.address > kMax32) {
            // The A2L address field holds 32 bits: a longer token would be read back
            // cut short and count as moved on every run.
            ++report_.unchanged;
            report_.warnings.push_back(object.name + ": address " + hexAddress(old) + " in the A2L, " +
                                       hexAddress(entry.address) +
                                       " in the ELF does not fit 32 bits (not changed - check)");
        } else {
            edit(object.addressToken, hexAddress(entry.address));
            report_.changed.push_back(object.name + ": address " + hexAddress(old) + " -> " +
                                      hexAddress(entry.address));
            ++report_.addressesChanged;
        }
    }

    const vk::elf::TypeInfo* typeAt(std::int32_t index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= debug_.types.size()) return nullptr;
        return &debug_.types[static_cast<std::size_t>(index)];
    }

    void checkDataType(const Object& object, const AddressEntry& entry) {
        const vk::elf::TypeInfo* type = typeAt(entry.variable->type);
        if (type == nullptr) return;
        const auto limits = a2lDatatypeFor(*type, entry.size);
        if (!limits) return;
        const std::string keyword(limits->keyword);
        const std::string& old = object.dataTypeOrDeposit;
        if (sameDataType(*type, old, keyword) || !object.dataTypeToken.present()) return;
        edit(object.dataTypeToken, keyword);
        report_.changed.push_back(object.name + ": data type " + printable(old) + " -> " + keyword);
        if (auto warning = limitsWarning(object, text_, *limits, model_))
            report_.warnings.push_back(*warning);
    }

    // A missing mask reads every bit of the value, as does a plain variable.
    void checkBitMask(const Object& object, const AddressEntry& entry) {
        if (model_ == nullptr) return;
        const vk::elf::Variable& variable = *entry.variable;
        const std::uint64_t whole =
            entry.size >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << 8 * entry.size) - 1;
        const std::uint64_t written = object.hasBitMask ? object.bitMask : whole;
        const std::uint64_t held = variable.isBitField ? variable.bitMask : whole;
        if (written == held) return;
        report_.warnings.push_back(
            object.name + ": BIT_MASK " + (object.hasBitMask ? hexAddress(object.bitMask) : "none") +
            " in the A2L, " + (variable.isBitField ? hexAddress(variable.bitMask) : "none") +
            " in the ELF (" + (variable.isBitField ? "" : "not a bit field, ") + "not changed)");
    }

    void checkRecordLayout(const Object& object, const AddressEntry& entry) {
        if (model_ == nullptr || !model_->isValue(object.name)) return;
        const std::optional<vk::a2l::DataType> layoutType = model_->fncValuesType(object.dataTypeOrDeposit);
        if (!layoutType) return;
        const std::uint64_t layoutSize = vk::a2l::dataTypeSize(*layoutType);
        if (layoutSize != entry.size) {
            report_.warnings.push_back(object.name + ": " + std::to_string(entry.size) +
                                       " byte(s) in the ELF, record layout " + object.dataTypeOrDeposit +
                                       " has " + std::to_string(layoutSize) + " (not changed)");
            return;
        }
        const vk::elf::TypeInfo* type = typeAt(entry.variable->type);
        const auto limits = type ? a2lDatatypeFor(*type, entry.size) : std::nullopt;
        const std::string_view written = vk::a2l::dataTypeName(*layoutType);
        if (!limits || sameDataType(*type, written, limits->keyword)) return;
        report_.warnings.push_back(object.name + ": " + std::string(limits->keyword) +
                                   " in the ELF, record layout " + object.dataTypeOrDeposit + " has " +
                                   std::string(written) + " (not changed)");
    }

    // A scalar object whose name the symbol table gives to an array or a
    // structure: its address may agree, but its data type describes a part of
    // the variable at most.
    void checkSymbolVariable(const Object& object) {
        if (model_ == nullptr) return;
        const bool measurement = object.kind == ObjectKind::Measurement && !model_->isArray(object.name);
        const bool value = object.kind == ObjectKind::Characteristic && object.characteristicType == "VALUE";
        if (!measurement && !value) return;
        const vk::elf::GlobalVariable* global = names_.symbolVariable(object.name);
        if (global == nullptr) return;
        const vk::elf::TypeInfo* type = typeAt(vk::elf::resolveAlias(debug_.types, global->typeIndex));
        using vk::elf::TypeKind;
        if (type == nullptr || (type->kind != TypeKind::Array && type->kind != TypeKind::Struct &&
                                type->kind != TypeKind::Union))
            return;
        const std::string written = measurement ? "data type " + printable(object.dataTypeOrDeposit)
                                                : "record layout " + object.dataTypeOrDeposit;
        report_.warnings.push_back(object.name + ": " + written + " in the A2L, " +
                                   vk::elf::typeName(debug_, global->typeIndex) +
                                   " in the ELF (not a scalar, not changed - check)");
    }

    const std::string_view text_;
    const vk::elf::DebugInfo& debug_;
    const NameMap& names_;
    LeftOutNames& leftOut_;
    const ModelFacts* model_;
    UpdateReport& report_;
    std::vector<TextEdit> edits_;
};

std::vector<std::string_view> objectNames(const std::vector<Object>& objects) {
    std::vector<std::string_view> names;
    names.reserve(objects.size());
    for (const Object& object : objects) names.push_back(object.name);
    return names;
}

}  // namespace

void sortEdits(std::vector<TextEdit>& edits) {
    std::sort(edits.begin(), edits.end(),
              [](const TextEdit& a, const TextEdit& b) { return a.offset > b.offset; });
}

std::string applyEdits(std::string_view text, const std::vector<TextEdit>& sortedEdits) {
    // Collected from the end backwards and joined once, so that many edits in a
    // large text cost one copy instead of one tail move each.
    std::vector<std::string_view> pieces;
    pieces.reserve(2 * sortedEdits.size() + 1);
    std::uint64_t end = text.size();
    for (const TextEdit& e : sortedEdits) {
        if (e.offset > end || e.length > end - e.offset)
            continue;  // overlaps an applied edit or lies outside
        pieces.push_back(text.substr(e.offset + e.length, end - e.offset - e.length));
        pieces.push_back(e.text);
        end = e.offset;
    }
    pieces.push_back(text.substr(0, end));
    std::size_t total = 0;
    for (std::string_view piece : pieces) total += piece.size();
    std::string result;
    result.reserve(total);
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) result.append(*it);
    return result;
}

Result<UpdateReport> update(const vk::elf::ElfFile& elf, const vk::elf::DebugInfo& debug,
                            std::string_view text) {
    // The model is read first and only what the checks need is kept: its block
    // tree and records, the largest transients of the update, then never exist
    // alongside the source index and the name map. A text the index rejects
    // fails just the same, with the index's error.
    std::optional<ModelFacts> model;
    if (Result<vk::a2l::Project> parsed = vk::a2l::parse(text);
        parsed.ok() && !parsed.value().modules.empty())
        model.emplace(parsed.value().modules.front());
    Result<vk::a2l::SourceIndex> index = vk::a2l::buildSourceIndex(text);
    if (!index.ok()) return index.error();
    // Never read here; freed before the name map is built.
    std::vector<vk::a2l::SourceIndex::Definition>().swap(index.value().definitions);
    const std::vector<Object>& objects = index.value().objects;
    const NameMap names(debug, vk::elf::readSymbols(elf), objectNames(objects));

    UpdateReport report;
    report.warnings = debug.warnings;
    // What concerns the whole text comes before the objects' lines.
    noteByteOrder(model ? &*model : nullptr, elf.littleEndian, report.warnings);
    noteIncludes(index.value().includes, report.warnings);
    LeftOutNames leftOut(elf, debug);
    ObjectUpdater updater(text, debug, names, leftOut, model ? &*model : nullptr, report);
    for (const Object& object : objects) updater.examine(object);
    std::vector<TextEdit> edits = updater.takeEdits();
    sortEdits(edits);
    report.text = applyEdits(text, edits);
    return report;
}

}  // namespace vk::tool
