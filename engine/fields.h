#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dozorira {

// A data line's fields of interest: the first ten.
inline constexpr int FieldsOfInterest = 10;

// The fields of any line, split at its tabs one byte after another: the plain way, for every line
// that the fast way below does not take.
class LineFields {
public:
    explicit LineFields(std::string_view line);

    std::string_view line() const { return line_; }
    // The fields found, at most FieldsOfInterest; an empty line has none, not one empty field.
    int count() const { return count_; }
    std::string_view operator[](int index) const {
        return fields_[static_cast<std::size_t>(index)];
    }
    bool holdsLineFeed() const { return holdsLineFeed_; }

private:
    std::string_view line_;
    std::array<std::string_view, FieldsOfInterest> fields_{};
    int count_ = 0;
    bool holdsLineFeed_ = false;
};

// Which of 64 bytes are tabs, blanks and control bytes (tabs, LF, CR and the rarer ones below CR),
// as bit masks: bit i for byte i. A line ends at the first control byte that is not a tab, so the
// bits after that byte may be left out.
struct LineMasks {
    std::uint64_t tabs;
    std::uint64_t blanks;
    std::uint64_t controls;

    // The masks up to the first control byte that is not a tab, which are all a line needs.
    LineMasks toLineEnd() const {
        const std::uint64_t others = controls & ~tabs;
        const std::uint64_t kept = others == 0 ? ~std::uint64_t{0} : others ^ (others - 1);
        return {tabs & kept, blanks & kept, controls & kept};
    }
    bool operator==(const LineMasks&) const = default;
};

// The masks without any instruction set's help, eight bytes at a time, each test marking the bytes
// it finds by their high bit.
inline LineMasks portableLineMasks(const char* text) {
    constexpr std::uint64_t Ones = 0x0101010101010101ULL;
    constexpr std::uint64_t HighBits = Ones * 0x80;
    // (byte & 0x7f) + 128 - n reaches the high bit exactly when the byte is at least n, and never
    // carries into the next byte; a byte with its high bit set is never below n.
    const auto below = [](std::uint64_t bytes, unsigned n) {
        return ~(((bytes & ~HighBits) + Ones * (128 - n)) | bytes) & HighBits;
    };
    // The high bits, byte i's moved to bit i: every product lands on a bit of its own.
    const auto gathered = [](std::uint64_t highBits) {
        return ((highBits >> 7) * 0x0102040810204080ULL) >> 56;
    };
    LineMasks masks{0, 0, 0};
    for (unsigned at = 0; at < 64; at += 8) {
        std::uint64_t bytes = 0;
        std::memcpy(&bytes, text + at, sizeof bytes);
        if constexpr (std::endian::native == std::endian::big) {
            std::uint64_t swapped = 0;
            for (int i = 0; i < 8; ++i, bytes >>= 8)
                swapped = swapped << 8 | (bytes & 0xff);
            bytes = swapped;
        }
        masks.tabs |= gathered(below(bytes ^ (Ones * '\t'), 1)) << at;
        masks.blanks |= gathered(below(bytes ^ (Ones * ' '), 1)) << at;
        masks.controls |= gathered(below(bytes, '\r' + 1)) << at;
    }
    return masks;
}

#if defined(__SSE2__)
inline LineMasks sse2LineMasks(const char* text) {
    LineMasks masks{0, 0, 0};
    for (unsigned at = 0; at < 64; at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
        const auto tabs = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\t')));
        const auto blanks = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' ')));
        // A byte up to CR is its own unsigned minimum with CR.
        const auto controls =
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8('\r')), bytes));
        masks.tabs |= std::uint64_t{static_cast<std::uint16_t>(tabs)} << at;
        masks.blanks |= std::uint64_t{static_cast<std::uint16_t>(blanks)} << at;
        masks.controls |= std::uint64_t{static_cast<std::uint16_t>(controls)} << at;
        // Sixteen bytes at a time only as far as the line goes.
        if ((controls & ~tabs) != 0) break;
    }
    return masks;
}
#endif

// The masks with the instructions that every machine this is built for has.
inline LineMasks lineMasks(const char* text) {
#if defined(__SSE2__)
    return sse2LineMasks(text);
#else
    return portableLineMasks(text);
#endif
}

#if defined(__x86_64__) && defined(__GNUC__)
#define DOZORIRA_AVX2 1
// The same in two steps of 32 bytes, for the code compiled for machines with AVX2 (see
// avx2Usable).
[[gnu::target("avx2")]] inline LineMasks avx2LineMasks(const char* text) {
    const auto* const halves = reinterpret_cast<const __m256i*>(text);
    const __m256i low = _mm256_loadu_si256(halves);
    const __m256i high = _mm256_loadu_si256(halves + 1);
    const __m256i tab = _mm256_set1_epi8('\t');
    const __m256i blank = _mm256_set1_epi8(' ');
    const __m256i lastControl = _mm256_set1_epi8('\r');
    const auto bits = [](int lowBits, int highBits) {
        return std::uint64_t{static_cast<std::uint32_t>(highBits)} << 32 |
               static_cast<std::uint32_t>(lowBits);
    };
    return {
        bits(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, tab)),
             _mm256_movemask_epi8(_mm256_cmpeq_epi8(high, tab))),
        bits(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, blank)),
             _mm256_movemask_epi8(_mm256_cmpeq_epi8(high, blank))),
        bits(_mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_min_epu8(low, lastControl), low)),
             _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_min_epu8(high, lastControl), high)))};
}
#endif

// Fields of a line that the lines after it are likely to repeat, with the tab after them (a
// cluster's label, box count and code), kept as a copy: the next lines are compared with it in
// one step.
class RepeatedFields {
public:
    static constexpr std::size_t MaxSize = 32;

    // Keeps the fields, which MaxSize bytes may be read from; longer fields are not kept.
    void keep(std::string_view fields) {
        if (fields.empty() || fields.size() > MaxSize) {
            *this = {};
            return;
        }
        std::memcpy(bytes_.data(), fields.data(), MaxSize);
        size_ = static_cast<unsigned>(fields.size());
        wanted_ = (std::uint64_t{1} << size_) - 1;
    }
    unsigned size() const { return size_; }

    // Whether the bytes at text, which MaxSize bytes may be read from, start with the kept fields.
    bool startOf(const char* text) const {
#if defined(__SSE2__)
        const auto* const from = reinterpret_cast<const __m128i*>(text);
        const auto* const kept = reinterpret_cast<const __m128i*>(bytes_.data());
        const auto low = static_cast<std::uint16_t>(
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(from), _mm_loadu_si128(kept))));
        const auto high = static_cast<std::uint16_t>(_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_loadu_si128(from + 1), _mm_loadu_si128(kept + 1))));
        return ((std::uint64_t{high} << 16 | low) & wanted_) == wanted_;
#else
        return size_ != 0 && std::memcmp(text, bytes_.data(), size_) == 0;
#endif
    }

private:
    std::array<char, MaxSize> bytes_{};
    unsigned size_ = 0;
    // A bit for each kept byte; with none kept, a bit that no comparison of 32 bytes sets.
    std::uint64_t wanted_ = std::uint64_t{1} << MaxSize;
};

// Whether this machine runs the code compiled for AVX2, BMI, BMI2 and POPCNT, and its system keeps
// the AVX registers.
bool avx2Usable();

// The fast way through a usual data line, which is nearly every line: one whose CR comes within
// its first UsualLine::MaxSize bytes, after at least nine tabs and no other control byte. It is
// split from the bit masks of its first 64 bytes instead of byte after byte, and its fields are
// taken one after another.
class UsualLine {
public:
    // How far the masks reach: the text must be followed by as many bytes that may be read.
    static constexpr std::size_t Reach = 64;
    // The longest line it takes leaves a bit of the masks for each field that a line too short
    // lacks: such fields come out empty, at the CR and after it.
    static constexpr unsigned MaxSize = Reach - FieldsOfInterest;

    // Splits the line at text, of which available bytes are the file's, given the masks of its
    // first Reach bytes. False when the line's end is not a CR within MaxSize bytes, after no
    // other control byte but tabs; a line that the last of the bytes does not end goes on past
    // them.
    bool split(const char* text, std::size_t available, const LineMasks& masks) {
        const std::uint64_t others = masks.controls & ~masks.tabs;
        const auto size = static_cast<unsigned>(std::countr_zero(others | LastBit));
        if (size >= available || size > MaxSize || text[size] != '\r') return false;
        // The tabs before the CR end fields, and so does every bit from the CR on.
        const std::uint64_t beforeEnd = (std::uint64_t{1} << size) - 1;
        ends_ = (masks.tabs & beforeEnd) | ~beforeEnd;
        blanks_ = masks.blanks;
        text_ = text;
        size_ = size;
        start_ = 0;
        return true;
    }

    std::size_t size() const { return size_; }

    // The next field, of at most FieldsOfInterest.
    std::string_view next() {
        const unsigned start = start_;
        // Ten fields leave a bit to find in ends_, so that the test for none that countr_zero
        // makes is left out.
        const auto end = static_cast<unsigned>(__builtin_ctzll(ends_));
        ends_ &= ends_ - 1;
        start_ = end + 1;
        return {text_ + start, end - start};
    }
    // After the tenth field, whether the line had ten.
    bool hadTenFields() const { return start_ <= size_ + 1; }

    // Takes the fields that the next bytes give where they are the kept fields of an earlier
    // line; false, having taken nothing, where they are not.
    bool skipRepeated(const RepeatedFields& fields) {
        if (start_ > Reach - RepeatedFields::MaxSize || !fields.startOf(text_ + start_))
            return false;
        // The same bytes hold the same tabs, and no CR.
        start_ += fields.size();
        ends_ &= ~std::uint64_t{0} << start_;
        return true;
    }

    // The blanks in a field that next() gave.
    int blanksIn(std::string_view field) const {
        // A field is shorter than the masks, which the line does not fill.
        const std::uint64_t fieldBits = (std::uint64_t{1} << field.size()) - 1;
        const auto start = static_cast<unsigned>(field.data() - text_);
        return std::popcount(blanks_ >> start & fieldBits);
    }

private:
    static constexpr std::uint64_t LastBit = std::uint64_t{1} << 63;

    const char* text_ = nullptr;
    std::uint64_t ends_ = 0; // the bytes that end a field and are still to be taken
    std::uint64_t blanks_ = 0;
    unsigned size_ = 0;
    unsigned start_ = 0; // of the next field
};

} // namespace dozorira
