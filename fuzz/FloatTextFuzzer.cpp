// Random text through the settings file's decimal normaliser: the answer is "0"
// or a plain number with exactly two decimals, and normalising it again keeps it
// (within the digits a double holds).
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/FloatText.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool IsPlainNumber(const std::string& s, char separator) {
    std::size_t i = s.empty() || s[0] != '-' ? 0 : 1;
    const std::size_t digitsBegin = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
        ++i;
    }
    return i > digitsBegin && i + 3 == s.size() && s[i] == separator && s[i + 1] >= '0' &&
           s[i + 1] <= '9' && s[i + 2] >= '0' && s[i + 2] <= '9';
}

// Digits from the first non-zero one on: what a double has to carry.
int SignificantDigits(const std::string& s) {
    int n = 0;
    for (char c : s) {
        if (c >= '0' && c <= '9' && (n > 0 || c != '0')) {
            ++n;
        }
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    // Both separators the program meets: the C locale's point and a Russian comma.
    static const bool haveComma = std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr;
    const bool comma = haveComma && (data[0] & 0x80) != 0;
    std::setlocale(LC_NUMERIC, comma ? "ru_RU.UTF-8" : "C");
    const char separator = comma ? ',' : '.';
    const int decimals = data[0] & 0x0F;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    const std::string out = platform::NormalizeFloatText(text, decimals);
    if (out == "0") {
        return 0;
    }
    Require(IsPlainNumber(out, separator));
    // A double holds 15 decimal digits for sure; beyond them the last place may
    // move by one when the shown text is read back.
    if (SignificantDigits(out) <= 15) {
        Require(platform::NormalizeFloatText(out, decimals) == out);
    }
    return 0;
}
