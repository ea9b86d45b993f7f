#pragma once
// The characters of a typed or pasted text as the edits and the table see
// them: one character per Unicode code point, and the control characters
// that would break a line of the log or of an export.

#include <QChar>
#include <QStringView>

namespace cvlog
{

// The next character of a text, a pair of surrogates taken as one.
inline char32_t nextCharacter(QStringView text, qsizetype& i)
{
    const QChar c = text[i++];
    if (c.isHighSurrogate() && i < text.size() && text[i].isLowSurrogate())
        return QChar::surrogateToUcs4(c, text[i++]);
    return c.unicode();
}

inline bool isControl(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029;
}

inline bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace cvlog
