#include "presentation/key_filter.h"

#include "logstore/cp850.h"
#include "presentation/text_characters.h"

#include <algorithm>

namespace cvlog
{

bool acceptsNumberKeys(QStringView keyText, QChar separator)
{
    return std::all_of(keyText.begin(), keyText.end(), [separator](QChar c) {
        return isControl(c.unicode()) || c == u'+' || c == u'-' || isDigit(c) || c == separator;
    });
}

bool acceptsStorableKeys(QStringView keyText)
{
    for (qsizetype i = 0; i < keyText.size();) {
        const char32_t c = nextCharacter(keyText, i);
        if (!isControl(c) && !cp850Holds(c))
            return false;
    }
    return true;
}

bool isAcceptedEditKey(LogField field, QStringView keyText, const DisplayMarks& marks)
{
    switch (field) {
    case kTakeoffDate:
        return true;
    case kFlightTime:
    case kHobbs:
        return acceptsNumberKeys(keyText, fractionSeparator(fractionMode(marks)));
    case kMaxAltitude:
    case kMaxSpeed:
    case kStudent:
        return acceptsNumberKeys(keyText, QChar());
    default:
        return acceptsStorableKeys(keyText);
    }
}

} // namespace cvlog
