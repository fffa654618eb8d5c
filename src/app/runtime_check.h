// The Flash runtime check of the main window: the strict integer reading of the version
// movie's variables. The check itself is TForm1::Timer1Timer.
#pragma once

#include <cstdint>
#include <string_view>

namespace qm {

// The integer a text spells: blanks before it, an optional sign, then decimal digits,
// or hexadecimal digits after "$" or "0x". The empty text, any other character (also a
// blank after the number) and a value outside 32 bits raise EConvertError.
std::int32_t StrToInt(std::string_view text);

}  // namespace qm
