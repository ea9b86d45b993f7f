#pragma once
// Text fields of the table are stored in the DOS code page 850; the program
// works in Unicode. The tables are built once, so each character costs one
// lookup.

#include <QString>
#include <QStringView>

#include <string>
#include <string_view>

namespace cvlog
{

// The byte that stands for a character code page 850 lacks.
inline constexpr char kCp850Unmapped = '?';

QString cp850ToString(std::string_view bytes);
// One byte per character (a character outside the BMP counts once).
std::string stringToCp850(QStringView text);
// Whether the code page has a byte for the character, so that it reads back
// as it was written.
bool cp850Holds(char32_t character);

} // namespace cvlog
