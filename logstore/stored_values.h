#pragma once
// Reading a field's bytes as the file stores them: what the row reader and
// the fast writers of whole tables (the exports) share. Inline: they run for
// every field of every row of a walk.

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace cvlog
{

// The value without its padding: writers pad with spaces, some foreign ones
// with zero bytes. Most of a comment field is padding, so it is skipped
// eight spaces at a time.
inline std::string_view TrimStored(std::string_view s)
{
    auto blank = [](char c) { return c == ' ' || c == '\0'; };
    while (s.size() >= 8 && std::memcmp(s.data() + s.size() - 8, "        ", 8) == 0)
        s.remove_suffix(8);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    return s;
}

// A trimmed integer field of nothing but digits, at most nine of them (so
// it always fits); nothing for any other text, which the row reads itself.
inline std::optional<std::int32_t> PlainStoredInteger(std::string_view s)
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

// "yyyymmdd" of a real calendar day; nothing for any other text.
inline std::optional<StoredDate> ParseStoredDate(std::string_view s)
{
    constexpr std::size_t kWidth = 8;
    if (s.size() != kWidth)
        return std::nullopt;
    int v[kWidth];
    for (std::size_t i = 0; i < kWidth; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return std::nullopt;
        v[i] = s[i] - '0';
    }
    const StoredDate r { v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5], v[6] * 10 + v[7] };
    if (r.year < 1 || r.month < 1 || r.month > 12 || r.day < 1)
        return std::nullopt;
    static constexpr int kDays[12] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    const bool leap = (r.year % 4 == 0 && r.year % 100 != 0) || r.year % 400 == 0;
    if (r.day > (r.month == 2 && leap ? 29 : kDays[r.month - 1]))
        return std::nullopt;
    return r;
}

} // namespace cvlog
