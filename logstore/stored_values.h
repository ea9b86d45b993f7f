#pragma once
// Reading a field's bytes as the file stores them: what the row reader and
// the fast writers of whole tables (the exports) share. Inline: they run for
// every field of every row of a walk.

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace cvlog
{

// Eight bytes of a field are looked at together: x86 and ARM keep the
// first byte of a word lowest.
static_assert(std::endian::native == std::endian::little);
inline constexpr std::size_t kWordBytes = 8;

inline std::uint64_t loadWord(const char* at)
{
    std::uint64_t word = 0;
    std::memcpy(&word, at, kWordBytes);
    return word;
}

inline constexpr std::uint64_t everyByte(unsigned char byte)
{
    return 0x0101010101010101ULL * byte;
}

// Per byte of the word, its high bit: set where the byte is not zero. No
// carry crosses from one byte into the next, so every byte is told apart.
inline std::uint64_t nonZeroBytes(std::uint64_t word)
{
    constexpr std::uint64_t kLow7 = everyByte(0x7F);
    return (((word & kLow7) + kLow7) | word) & ~kLow7;
}

// Set where the byte is neither a space nor a zero byte: not padding.
inline std::uint64_t unpaddedBytes(std::uint64_t word)
{
    return nonZeroBytes(word ^ everyByte(' ')) & nonZeroBytes(word);
}

// Set where the byte is not a decimal digit.
inline std::uint64_t nonDigitBytes(std::uint64_t word)
{
    constexpr std::uint64_t kLow7 = everyByte(0x7F);
    const std::uint64_t x = word ^ everyByte('0'); // a digit becomes 0 to 9
    return (((x & kLow7) + everyByte(0x80 - 10)) | x) & ~kLow7;
}

inline bool isPadding(char c)
{
    return c == ' ' || c == '\0';
}

// The value without its padding: writers pad with spaces, some foreign ones
// with zero bytes. Most of a comment field is padding, so it is skipped a
// word at a time.
inline std::string_view trimStored(std::string_view s)
{
    constexpr std::uint64_t kSpaces = everyByte(' ');
    std::size_t end = s.size();
    while (end >= 2 * kWordBytes
        && ((loadWord(s.data() + end - kWordBytes) ^ kSpaces)
               | (loadWord(s.data() + end - 2 * kWordBytes) ^ kSpaces))
            == 0)
        end -= 2 * kWordBytes;
    while (end >= kWordBytes) {
        const std::uint64_t kept = unpaddedBytes(loadWord(s.data() + end - kWordBytes));
        if (kept != 0) {
            end -= static_cast<std::size_t>(std::countl_zero(kept)) / 8;
            break;
        }
        end -= kWordBytes;
    }
    while (end > 0 && isPadding(s[end - 1]))
        --end;
    std::size_t begin = 0;
    if (end >= kWordBytes) {
        const std::uint64_t kept = unpaddedBytes(loadWord(s.data()));
        begin = kept == 0 ? kWordBytes : static_cast<std::size_t>(std::countr_zero(kept)) / 8;
    }
    while (begin < end && isPadding(s[begin]))
        ++begin;
    return s.substr(begin, end - begin);
}

// The value of up to eight digits, one a byte from the lowest, the first
// the most significant; bytes before the first digit are 0.
inline std::uint32_t eightDigitsValue(std::uint64_t digits)
{
    // Pairs, then fours, then all eight: each step multiplies the higher
    // half by the power of ten it stands for and adds the lower one.
    digits = (digits * 10 + (digits >> 8)) & 0x00FF00FF00FF00FFULL;
    digits = (digits * 100 + (digits >> 16)) & 0x0000FFFF0000FFFFULL;
    return static_cast<std::uint32_t>((digits * 10000 + (digits >> 32)) & 0xFFFFFFFFULL);
}

struct PlainNumber {
    std::string_view digits;
    std::int32_t value = 0;
};

// A number field as nearly every writer stores it: spaces, then one to
// nine digits with no sign and no leading zero. Nothing for any other text
// (a sign, a number padded on the right, zero bytes), which is left to the
// slower readings below and in the row.
inline std::optional<PlainNumber> plainStoredNumber(std::string_view s)
{
    constexpr std::size_t kMostDigits = 9;
    const std::size_t n = s.size();
    // The usual field, a word or more wide with up to seven digits at its
    // end: the digits are found, checked and read in the last word, the
    // spaces before them in the first.
    if (n >= kWordBytes) {
        const std::uint64_t last = loadWord(s.data() + n - kWordBytes);
        const std::uint64_t others = nonDigitBytes(last);
        const auto digits = static_cast<std::size_t>(std::countl_zero(others)) / 8;
        const std::size_t from = n - digits;
        if (others != 0 && digits > 0 && from <= kWordBytes) {
            const std::uint64_t before = ~0ULL >> (8 * (kWordBytes - from));
            if (((loadWord(s.data()) ^ everyByte(' ')) & before) != 0 || (s[from] == '0' && digits > 1))
                return std::nullopt;
            const std::uint64_t values = last & everyByte(0x0F) & (~0ULL << (8 * (kWordBytes - digits)));
            return PlainNumber { s.substr(from), static_cast<std::int32_t>(eightDigitsValue(values)) };
        }
    }
    std::size_t from = n;
    while (from > 0 && s[from - 1] >= '0' && s[from - 1] <= '9')
        --from;
    const std::size_t digits = n - from;
    if (digits == 0 || digits > kMostDigits || (s[from] == '0' && digits > 1))
        return std::nullopt;
    for (std::size_t i = 0; i < from; ++i) {
        if (s[i] != ' ')
            return std::nullopt;
    }
    std::int32_t value = 0;
    for (std::size_t i = from; i < n; ++i)
        value = value * 10 + (s[i] - '0');
    return PlainNumber { s.substr(from), value };
}

// A trimmed integer field of nothing but digits, at most nine of them (so
// it always fits); nothing for any other text, which the row reads itself.
inline std::optional<std::int32_t> plainStoredInteger(std::string_view s)
{
    if (s.empty() || s.size() > 9)
        return std::nullopt;
    std::int32_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

struct StoredDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

// The year, month and day of eight digits "yyyymmdd", whatever they make
// (a month 13, a day 0); nothing for any other text. Every row's date
// passes here, so the digits are read as one word.
inline std::optional<StoredDate> storedDateDigits(std::string_view s)
{
    if (s.size() != kWordBytes)
        return std::nullopt;
    const std::uint64_t word = loadWord(s.data());
    if (nonDigitBytes(word) != 0)
        return std::nullopt;
    const std::uint64_t digits = word - everyByte('0');
    // Each digit times ten plus the next: bytes 0, 2, 4 and 6 hold the
    // two-digit numbers yy, yy, mm and dd.
    const std::uint64_t pairs = (digits * 10 + (digits >> 8)) & 0x00FF00FF00FF00FFULL;
    auto pair = [&](int n) { return static_cast<int>((pairs >> (16 * n)) & 0xFF); };
    return StoredDate { pair(0) * 100 + pair(1), pair(2), pair(3) };
}

// "yyyymmdd" of a real calendar day; nothing for any other text.
inline std::optional<StoredDate> parseStoredDate(std::string_view s)
{
    const auto digits = storedDateDigits(s);
    if (!digits)
        return std::nullopt;
    const StoredDate r = *digits;
    if (r.year < 1 || r.month < 1 || r.month > 12 || r.day < 1)
        return std::nullopt;
    static constexpr int kDays[12] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    const bool leap = (r.year % 4 == 0 && r.year % 100 != 0) || r.year % 400 == 0;
    if (r.day > (r.month == 2 && leap ? 29 : kDays[r.month - 1]))
        return std::nullopt;
    return r;
}

} // namespace cvlog
