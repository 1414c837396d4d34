// Building the type table from type DIEs. Entries are reserved before they
// are filled, so a type graph that refers back to itself ends. The walk keeps
// its own stack rather than recursing, so a chain of a million typedefs in a
// malformed file cannot exhaust the call stack.
#include <algorithm>
#include <utility>

#include "elf/dwarf_reader.h"

namespace vk::elf {
namespace {

TypeKind kindOf(std::uint16_t tag) {
    switch (tag) {
        case 0x3b:
            return TypeKind::Unspecified;
        case 0x24:
            return TypeKind::Base;
        case 0x02:
        case 0x13:
            return TypeKind::Struct;
        case 0x17:
            return TypeKind::Union;
        case 0x01:
            return TypeKind::Array;
        case 0x04:
            return TypeKind::Enum;
        case 0x0f:
        case 0x10:
        case 0x42:
            return TypeKind::Pointer;
        case 0x16:
            return TypeKind::Typedef;
        case 0x26:
        case 0x35:
        case 0x37:
        case 0x47:
            return TypeKind::Qualified;
        case 0x15:
            return TypeKind::Function;
        default:
            return TypeKind::Other;
    }
}

std::uint64_t constantOr0(const Attr& a) {
    return a.isConstant() ? a.value : 0;
}

// The storage unit's byte offset for a field whose first bit is bit `first`
// of the containing type, counted in the file's bit order: aligned to the
// storage size, or where the field straddles that unit (a long long field on
// i386, whose ABI aligns long long to 4), the unit of the largest smaller
// alignment that holds it whole. Sets `within` to the field's first bit in
// that unit.
std::uint64_t storageUnit(std::uint64_t first, std::uint64_t bits, std::uint64_t storage,
                          std::uint64_t& within) {
    std::uint64_t unit = first / 8;
    if (storage > ~std::uint64_t{0} / 8)
        unit = 0;
    else if (storage != 0)
        unit = first / (8 * storage) * storage;
    if (storage != 0 && storage <= 8 && first - 8 * unit + bits > 8 * storage) {
        for (std::uint64_t align = storage / 2; align >= 1; align /= 2) {
            const std::uint64_t candidate = first / (8 * align) * align;
            if (first - 8 * candidate + bits <= 8 * storage) {
                unit = candidate;
                break;
            }
        }
    }
    within = first - 8 * unit;
    return unit;
}

// Whether `bits` bits that start `at` bits into a storage unit of `storage`
// bytes lie wholly inside it (false when 8 x storage does not fit 64 bits).
bool fitsInUnit(std::uint64_t at, std::uint64_t bits, std::uint64_t storage) {
    return storage != 0 && storage <= ~std::uint64_t{0} / 8 && bits <= 8 * storage &&
           at <= 8 * storage - bits;
}

// A bit field's bytes and the shift of its lowest bit within their value.
struct BitWindow {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t shift = 0;
};

// The field's first bit counted from the start of the containing type in the
// file's bit order (from each byte's least significant bit in a little-endian
// file, from its most significant in a big-endian one), as
// DW_AT_data_bit_offset counts it. Negative locations and DW_AT_bit_offset
// values wrap in unsigned arithmetic to the same sum as in signed.
std::uint64_t firstBit(std::uint64_t location, std::uint64_t bits, std::uint64_t storage,
                       const Attr& dataBitOffset, const Attr& bitOffset, bool littleEndian) {
    if (dataBitOffset) return dataBitOffset.number();
    // Without either attribute the field sits at the unit's least
    // significant end, as the shift of 0 that it has always had says.
    const std::uint64_t fromTop = bitOffset ? bitOffset.number() : 8 * storage - bits;
    return 8 * location + (littleEndian ? 8 * storage - bits - fromTop : fromTop);
}

// The storage unit that DW_AT_data_bit_offset (DWARF 4 on) or DW_AT_bit_offset
// (DWARF 2 and 3, counted from the unit's most significant bit) names, counted
// in `storage` bytes from `location` and read as `typeSize` bytes. The shift
// can lie outside the unit.
BitWindow namedUnit(std::uint64_t location, std::uint64_t bits, std::uint64_t storage, std::uint64_t typeSize,
                    const Attr& dataBitOffset, const Attr& bitOffset, bool littleEndian) {
    BitWindow unit{location, typeSize, 0};
    // The unit that storageUnit finds for the field's first bit.
    const auto holding = [&](std::uint64_t first) {
        std::uint64_t within = 0;
        unit.offset = storageUnit(first, bits, storage, within);
        unit.shift = littleEndian ? within : 8 * storage - bits - within;
    };
    if (dataBitOffset) {
        holding(dataBitOffset.number());
    } else if (bitOffset) {
        const std::uint64_t o = bitOffset.number();
        unit.shift = 8 * storage - bits - o;
        // Compilers emit offsets outside the unit (negative ones too) for
        // fields that straddle it; such a field is placed from its absolute
        // position instead, when the numbers are of a sane size.
        const std::int64_t signedO = static_cast<std::int64_t>(o);
        if (!fitsInUnit(o, bits, storage) && storage >= 1 && storage <= 8 && location < (1ull << 56) &&
            signedO > -(1ll << 32) && signedO < (1ll << 32)) {
            const auto first = static_cast<std::int64_t>(
                firstBit(location, bits, storage, dataBitOffset, bitOffset, littleEndian));
            if (first >= 0) holding(static_cast<std::uint64_t>(first));
        }
    }
    return unit;
}

// Positions past this many bits, negative ones among them, lie outside any
// real variable; below it no window arithmetic overflows.
constexpr std::uint64_t kMaxFieldBit = std::uint64_t{1} << 60;

bool isScalarSize(std::uint64_t size) {
    return size == 1 || size == 2 || size == 4 || size == 8;
}

// Whether the window is a scalar that holds exactly bits [first, first + bits)
// under its shift. A window before the start of the containing type (a
// negative location) never does: it would read another object.
bool selectsExactly(const BitWindow& w, std::uint64_t first, std::uint64_t bits, bool littleEndian) {
    if (!isScalarSize(w.size) || w.offset > kMaxFieldBit / 8) return false;
    const std::uint64_t begin = 8 * w.offset;
    const std::uint64_t end = begin + 8 * w.size;
    if (first < begin || first + bits > end) return false;
    return w.shift == (littleEndian ? first - begin : end - first - bits);
}

BitWindow windowAt(std::uint64_t offset, std::uint64_t size, std::uint64_t first, std::uint64_t bits,
                   bool littleEndian) {
    const std::uint64_t begin = 8 * offset;
    return BitWindow{offset, size, littleEndian ? first - begin : begin + 8 * size - first - bits};
}

// Where the field's bits are read: the unit that the attributes name when it
// holds them exactly; else a unit of the declared type's size aligned as
// DW_AT_data_bit_offset aligns it, so that DWARF 2 to 4 and DWARF 5 agree;
// else the smallest window of 1, 2, 4 or 8 bytes from the field's first
// byte. Size 0 when none holds them.
BitWindow placeBits(const BitWindow& named, std::uint64_t first, std::uint64_t bits, std::uint64_t typeSize,
                    bool littleEndian) {
    if (first >= kMaxFieldBit || bits > 64) return BitWindow{};
    if (selectsExactly(named, first, bits, littleEndian)) return named;
    if (isScalarSize(typeSize)) {
        const std::uint64_t unit = first / (8 * typeSize) * typeSize;
        if (first - 8 * unit + bits <= 8 * typeSize)
            return windowAt(unit, typeSize, first, bits, littleEndian);
    }
    const std::uint64_t byte = first / 8;
    const std::uint64_t touched = (first + bits - 1) / 8 - byte + 1;
    for (std::uint64_t size = 1; size <= 8; size *= 2)
        if (touched <= size) return windowAt(byte, size, first, bits, littleEndian);
    return BitWindow{};
}

// Of the windows that hold the field's bits, one that lies inside the
// `container` bytes of the structure that holds it, so that reading or
// writing the field touches no other object: a unit of the declared type's
// size aligned as placeBits aligns it, else the smallest window of 1, 2, 4
// or 8 bytes, from the field's first byte or ending at the structure's end.
// `fallback` where none lies inside.
BitWindow windowInside(const BitWindow& fallback, std::uint64_t first, std::uint64_t bits,
                       std::uint64_t typeSize, std::uint64_t container, bool littleEndian) {
    const auto inside = [container](std::uint64_t offset, std::uint64_t size) {
        return offset <= container && size <= container - offset;
    };
    if (isScalarSize(typeSize)) {
        const std::uint64_t unit = first / (8 * typeSize) * typeSize;
        if (first - 8 * unit + bits <= 8 * typeSize && inside(unit, typeSize))
            return windowAt(unit, typeSize, first, bits, littleEndian);
    }
    const std::uint64_t firstByte = first / 8;
    const std::uint64_t lastByte = (first + bits - 1) / 8;
    for (std::uint64_t size = 1; size <= 8; size *= 2) {
        if (lastByte - firstByte >= size || size > container) continue;
        const std::uint64_t offset = std::min(firstByte, container - size);
        if (offset + size > lastByte) return windowAt(offset, size, first, bits, littleEndian);
    }
    return fallback;
}

// Sets the bit field's offset, shift and window size from whichever
// attributes place it; `storage` is the size they count in, `container` the
// byte size of the structure or union that holds it (0 when unknown).
void placeBitField(Member& m, std::uint64_t storage, std::uint64_t typeSize, std::uint64_t container,
                   const Attr& dataBitOffset, const Attr& bitOffset, bool littleEndian) {
    const std::uint64_t bits = m.bitSize;
    const BitWindow named =
        namedUnit(m.offset, bits, storage, typeSize, dataBitOffset, bitOffset, littleEndian);
    const std::uint64_t first = firstBit(m.offset, bits, storage, dataBitOffset, bitOffset, littleEndian);
    BitWindow w = placeBits(named, first, bits, typeSize, littleEndian);
    if (w.size != 0 && container != 0 && (w.offset > container || w.size > container - w.offset))
        w = windowInside(w, first, bits, typeSize, container, littleEndian);
    if (w.size == 0) {
        // Left out by the flattening; the numbers only need to stay sane.
        m.offset = named.offset;
        m.bitShift = named.shift < 64 ? static_cast<std::uint8_t>(named.shift) : 0;
        m.storageSize = kNoBitWindow;
        return;
    }
    m.offset = w.offset;
    m.bitShift = static_cast<std::uint8_t>(w.shift);
    m.storageSize = w.size == typeSize ? 0 : static_cast<std::uint8_t>(w.size);
}

// The base type that an enumeration names as its underlying type
// (DW_AT_type, as `enum class E : int16_t` has it): its encoding (0 when it
// names none), and the bits of its values with the sign bit of a signed one.
struct Underlying {
    std::uint8_t encoding = 0;
    std::uint64_t mask = ~std::uint64_t{0};
    std::uint64_t signBit = 0;
};

Underlying underlyingOf(const std::vector<TypeInfo>& types, std::int32_t target) {
    const std::int32_t base = resolveAlias(types, target);
    if (base < 0 || static_cast<std::size_t>(base) >= types.size()) return {};
    const TypeInfo& t = types[static_cast<std::size_t>(base)];
    if (t.kind != TypeKind::Base) return {};
    Underlying u{t.encoding};
    const bool isSigned = t.encoding == 0x05 || t.encoding == 0x06;
    if (t.byteSize >= 1 && t.byteSize < 8) u.mask = (std::uint64_t{1} << (8 * t.byteSize)) - 1;
    if (isSigned && t.byteSize >= 1 && t.byteSize <= 8) u.signBit = std::uint64_t{1} << (8 * t.byteSize - 1);
    return u;
}

// An enumerator's value. Data forms carry no sign: read in the underlying
// type's size and signedness where the enumeration names one (0xff of a
// uint8_t is 255, of an int8_t -1, and gcc writes 255 of an int as 0xff too),
// else as the form gives it. Enumerator::value keeps the bits of an unsigned
// 64-bit value.
std::int64_t enumeratorValue(const Attr& v, const Underlying& underlying) {
    if (!v || !v.isConstant()) return 0;
    std::uint64_t bits = v.value & underlying.mask;
    if (bits & underlying.signBit) bits |= ~underlying.mask;
    return static_cast<std::int64_t>(bits);
}

}  // namespace

// The attributes that place a member, kept while its type is built.
struct MemberPlace {
    Attr location, bitSize, byteSize, dataBitOffset, bitOffset;
};

// One type under construction: its values are built aside and stored into
// the reserved entry when the frame finishes.
struct TypeFrame {
    std::uint32_t die = kNoDie;
    std::int32_t index = -1;
    std::uint32_t targetDie = kNoDie;
    TypeInfo info;
    int phase = 0;  // 0: target next, 1: members
    std::uint32_t child = kNoDie;
    bool memberPending = false;  // `member` waits for its type to be built
    bool memberIsBase = false;   // `member` is a base class (DW_TAG_inheritance)
    Member member;
    MemberPlace place;  // of `member`, read with its other attributes
};

class TypeBuilder {
public:
    // Most type graphs are shallow; one allocation serves them.
    explicit TypeBuilder(DwarfReader& r) : r_(r) { stack_.reserve(8); }

    std::int32_t build(std::uint32_t die) {
        bool fresh = false;
        const std::int32_t index = reserve(die, fresh);
        if (!fresh) return index;
        stack_.push_back(start(die, index));
        while (!stack_.empty()) {
            const std::uint32_t next = advance(stack_.back());
            if (next != kNoDie) {
                stack_.push_back(start(next, r_.dies[next].type));
            } else {
                finish(stack_.back());
                stack_.pop_back();
            }
        }
        return index;
    }

private:
    // typeByDie: the index sits in the DIE itself.
    std::int32_t reserve(std::uint32_t die, bool& fresh) {
        fresh = false;
        if (die == kNoDie) return -1;
        Die& d = r_.dies[die];
        if (d.type >= 0) return d.type;
        d.type = static_cast<std::int32_t>(r_.result.types.size());
        r_.result.types.emplace_back();
        fresh = true;
        return d.type;
    }

    TypeFrame start(std::uint32_t die, std::int32_t index) {
        TypeFrame f;
        f.index = index;
        f.info.kind = kindOf(r_.dies[die].tag);
        bool undefined = false;
        if (r_.dies[die].flags & kDeclaration) die = definitionOf(die, index, f.info, undefined);
        f.die = die;
        f.child = die + 1;
        const DieAttrs attrs = r_.attrsOf(die);
        if (!undefined) f.info.name = r_.dieName(die, attrs);
        f.info.byteSize = constantOr0(attrs.get(at::byteSize));
        if (f.info.kind == TypeKind::Base)
            f.info.encoding = static_cast<std::uint8_t>(constantOr0(attrs.get(at::encoding)));
        // The pointed-to type never enters the table through a pointer.
        if (f.info.kind == TypeKind::Pointer && f.info.byteSize == 0)
            f.info.byteSize = r_.unitOf(die).addressSize;
        if (f.info.kind != TypeKind::Pointer) f.targetDie = r_.refTarget(attrs.get(at::type));
        if (f.info.kind == TypeKind::Struct || f.info.kind == TypeKind::Union) {
            std::size_t count = 0;  // reserved exactly: the table holds many structures
            for (std::uint32_t c = die + 1; c < r_.dies[die].subtreeEnd; c = r_.dies[c].subtreeEnd)
                count += r_.dies[c].tag == 0x0d || r_.dies[c].tag == 0x1c;
            f.info.members.reserve(count);
        }
        return f;
    }

    // The DIE that defines what `die` declares, when it is a structure, union
    // or enumeration and another unit defines it. Without a definition an
    // enumeration whose declaration gives its size or underlying type is a
    // value all the same (without enumerators); anything else is marked, and
    // named by its qualified name for the warning that leaves its values out.
    std::uint32_t definitionOf(std::uint32_t die, std::int32_t index, TypeInfo& info, bool& undefined) {
        if (info.kind != TypeKind::Struct && info.kind != TypeKind::Union && info.kind != TypeKind::Enum)
            return die;
        const Completion c = r_.completeDeclaration(die);
        if (c.definition != kNoDie) return c.definition;
        if (info.kind == TypeKind::Enum) {
            const DieAttrs attrs = r_.attrsOf(die);
            if (attrs.get(at::byteSize) || attrs.get(at::type)) return die;
        }
        undefined = true;
        info.name = r_.keepMadeName(c.qualifiedName);
        r_.result.undefined.emplace_back(index, c.outcome);
        return die;
    }

    // The next DIE whose type must be built before the frame can go on, or
    // kNoDie when the frame is complete.
    std::uint32_t advance(TypeFrame& f) {
        bool fresh = false;
        if (f.phase == 0) {
            f.phase = 1;
            if (f.info.kind != TypeKind::Pointer) {
                f.info.target = reserve(f.targetDie, fresh);
                if (fresh) return f.targetDie;
            }
        }
        if (f.info.kind != TypeKind::Struct && f.info.kind != TypeKind::Union) return kNoDie;
        const std::uint32_t end = r_.dies[f.die].subtreeEnd;
        for (;;) {
            if (f.memberPending) {
                finishMember(f);
                f.memberPending = false;
                f.child = r_.dies[f.child].subtreeEnd;
            }
            if (f.child >= end) return kNoDie;
            const std::uint32_t c = f.child;
            const std::uint16_t tag = r_.dies[c].tag;
            if (tag != 0x0d && tag != 0x1c) {
                f.child = r_.dies[c].subtreeEnd;
                continue;
            }
            const DieAttrs attrs = r_.attrsOf(c);
            if (attrs.get(at::declaration) || attrs.get(at::external)) {
                f.child = r_.dies[c].subtreeEnd;
                continue;
            }
            f.member = Member{};
            f.memberIsBase = tag == 0x1c;
            if (tag == 0x0d) f.member.name = r_.dieName(c, attrs);
            f.place =
                MemberPlace{attrs.get(at::dataMemberLocation), attrs.get(at::bitSize),
                            attrs.get(at::byteSize), attrs.get(at::dataBitOffset), attrs.get(at::bitOffset)};
            const std::uint32_t type = r_.refTarget(attrs.get(at::type));
            f.member.type = reserve(type, fresh);
            f.memberPending = true;
            if (fresh) return type;
        }
    }

    void finishMember(TypeFrame& f);
    void finish(TypeFrame& f);

    DwarfReader& r_;
    std::vector<TypeFrame> stack_;
};

void TypeBuilder::finishMember(TypeFrame& f) {
    const MemberPlace& place = f.place;
    Member& m = f.member;
    if (const Attr loc = place.location) {
        if (loc.attrClass == AttrClass::Block) {
            const std::uint8_t* bytes = r_.info.data() + loc.value;
            bool constant = false;
            if (loc.size > 0 && bytes[0] == 0x23) {  // DW_OP_plus_uconst
                Cursor rest{bytes + 1, loc.size - 1u, r_.elf.littleEndian, 0};
                m.offset = rest.readUleb();
                constant = rest.pos == rest.size;
            }
            // A virtual base: its place is read from the object's vtable.
            if (!constant && f.memberIsBase) {
                m.offset = 0;
                m.storageSize = kVirtualBase;
            }
        } else {
            m.offset = loc.number();
        }
    }
    const Attr bits = place.bitSize;
    if (!bits || !bits.isConstant() || bits.value == 0) {
        f.info.members.push_back(std::move(m));
        return;
    }
    m.bitSize = static_cast<std::uint16_t>(bits.value);
    const Attr ownSize = place.byteSize;
    const std::uint64_t typeSize = byteSize(r_.result.types, m.type);
    const std::uint64_t storage = ownSize ? constantOr0(ownSize) : typeSize;
    placeBitField(m, storage, typeSize, f.info.byteSize, place.dataBitOffset, place.bitOffset,
                  r_.elf.littleEndian);
    f.info.members.push_back(std::move(m));
}

void TypeBuilder::finish(TypeFrame& f) {
    TypeInfo& t = f.info;
    Underlying underlying;
    if (t.kind == TypeKind::Enum) {
        // Reserved exactly: a header's enumerations repeat in every unit.
        std::size_t count = 0;
        for (std::uint32_t c = f.die + 1; c < r_.dies[f.die].subtreeEnd; c = r_.dies[c].subtreeEnd)
            count += r_.dies[c].tag == 0x28;
        t.enumerators.reserve(count);
        underlying = underlyingOf(r_.result.types, t.target);
        t.encoding = underlying.encoding;
    }
    for (std::uint32_t c = f.die + 1; c < r_.dies[f.die].subtreeEnd; c = r_.dies[c].subtreeEnd) {
        const std::uint16_t tag = r_.dies[c].tag;
        if (t.kind == TypeKind::Array && tag == 0x21) {
            const DieAttrs attrs = r_.attrsOf(c);
            std::uint64_t count = 0;
            const Attr n = attrs.get(at::count);
            const Attr upper = attrs.get(at::upperBound);
            if (n && n.attrClass != AttrClass::Block)
                count = n.number();
            else if (upper && upper.isConstant())
                count = upper.value - constantOr0(attrs.get(at::lowerBound)) + 1;
            t.dims.push_back(count);
        } else if (t.kind == TypeKind::Enum && tag == 0x28) {
            const DieAttrs attrs = r_.attrsOf(c);
            const Attr v = attrs.get(at::constValue);
            t.enumerators.push_back(Enumerator{enumeratorValue(v, underlying), r_.dieName(c, attrs)});
        }
    }
    const bool sizeFromElements = t.kind == TypeKind::Array && t.byteSize == 0;
    r_.result.types[static_cast<std::size_t>(f.index)] = std::move(t);
    if (sizeFromElements) {
        TypeInfo& stored = r_.result.types[static_cast<std::size_t>(f.index)];
        std::uint64_t elements = 1;
        for (std::uint64_t d : stored.dims) elements *= d;
        stored.byteSize = byteSize(r_.result.types, stored.target) * elements;
    }
}

std::int32_t DwarfReader::buildType(std::uint32_t die) {
    return TypeBuilder(*this).build(die);
}

}  // namespace vk::elf
