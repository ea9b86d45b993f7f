#include "logstore/cp850.h"

#include <array>
#include <cstdint>
#include <iconv.h>

namespace cvlog
{

namespace
{

struct Cp850Tables {
    std::array<char16_t, 256> toUnicode {};
    std::array<char, 0x10000> fromUnicode {};
};

// Asks the C library once for the meaning of each upper byte; a byte it
// cannot convert becomes U+FFFD on reading and is never produced on writing.
Cp850Tables buildTables()
{
    Cp850Tables t;
    t.fromUnicode.fill(kCp850Unmapped);
    for (int b = 0; b < 0x80; ++b) {
        t.toUnicode[b] = static_cast<char16_t>(b);
        t.fromUnicode[b] = static_cast<char>(b);
    }
    iconv_t cd = iconv_open("UTF-16LE", "CP850");
    for (int b = 0x80; b < 0x100; ++b) {
        char16_t u = 0xFFFD;
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            char in = static_cast<char>(b);
            unsigned char out[4] = {};
            char* inp = &in;
            char* outp = reinterpret_cast<char*>(out);
            size_t inLeft = 1;
            size_t outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1) && outLeft == 2)
                u = static_cast<char16_t>(out[0] | (out[1] << 8));
        }
        t.toUnicode[b] = u;
        if (u != 0xFFFD)
            t.fromUnicode[u] = static_cast<char>(b);
    }
    if (cd != reinterpret_cast<iconv_t>(-1))
        iconv_close(cd);
    return t;
}

const Cp850Tables& tables()
{
    static const Cp850Tables t = buildTables();
    return t;
}

} // namespace

QString cp850ToString(std::string_view bytes)
{
    QString s(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(s.data());
    const auto& map = tables().toUnicode;
    for (unsigned char b : bytes)
        *out++ = map[b];
    return s;
}

bool cp850Holds(char32_t character)
{
    if (character < 0x80)
        return true;
    if (character > 0xFFFF)
        return false;
    return tables().fromUnicode[character] != kCp850Unmapped;
}

std::string stringToCp850(QStringView text)
{
    std::string out;
    out.reserve(static_cast<size_t>(text.size()));
    const auto& map = tables().fromUnicode;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out.push_back(kCp850Unmapped);
            ++i;
            continue;
        }
        out.push_back(map[c.unicode()]);
    }
    return out;
}

} // namespace cvlog
