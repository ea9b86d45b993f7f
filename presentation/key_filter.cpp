#include "presentation/key_filter.h"

#include "logstore/cp850.h"
#include "presentation/text_characters.h"

#include <algorithm>

namespace cvlog
{

bool AcceptsNumberKeys(QStringView keyText, QChar separator)
{
    return std::all_of(keyText.begin(), keyText.end(), [separator](QChar c) {
        return isControl(c.unicode()) || c == u'+' || c == u'-' || isDigit(c) || c == separator;
    });
}

bool AcceptsStorableKeys(QStringView keyText)
{
    for (qsizetype i = 0; i < keyText.size();) {
        const char32_t c = nextCharacter(keyText, i);
        if (!isControl(c) && !Cp850Holds(c))
            return false;
    }
    return true;
}

bool IsAcceptedEditKey(LogField field, QStringView keyText, const DisplayMarks& marks)
{
    switch (field) {
    case kTakeoffDate:
        return true;
    case kFlightTime:
    case kHobbs:
        return AcceptsNumberKeys(keyText, FractionSeparator(fractionMode(marks)));
    case kMaxAltitude:
    case kMaxSpeed:
    case kStudent:
        return AcceptsNumberKeys(keyText, QChar());
    default:
        return AcceptsStorableKeys(keyText);
    }
}

} // namespace cvlog
