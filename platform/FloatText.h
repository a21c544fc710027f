// Decimal texts of the settings file, in the decimal separator of the C library's
// current LC_NUMERIC locale.
#pragma once

#include <string>

namespace platform {

// The number in `text` (either '.' or ',' as separator, optional sign and exponent,
// spaces around it allowed) rounded half to even to `decimals` places and shown with
// exactly two decimals, such as "12.35" or "6,00". A text that is no number gives "0".
std::string NormalizeFloatText(const std::string& text, int decimals);

// The shortest general form of `value` with up to 15 significant digits and no
// thousands separators: "12.5" (or "12,5"), "100".
std::string FormatFloatGeneral(double value);

// Takes the decimal separator (LC_NUMERIC) from the user's settings. Qt's
// application object does so on Unix; on Windows the C library starts with '.'
// whatever the user chose, so the program calls this at start.
void UseUserNumberFormat();

}  // namespace platform
