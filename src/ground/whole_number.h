// Reading a whole number typed by the user or found in a file: one set of rules for the section
// quantity, the hours and minutes of a time text, INI values and the custom size.
//
// Threading: any thread; a pure function.
#pragma once

#include <QStringView>
#include <optional>

namespace segmora {

// What a whole-number text may hold besides its decimal digits.
struct WholeNumberRules {
    bool leadingBlanks = false; // blanks (" ") before the sign or the first digit
    bool plusSign = true;       // "+" as well as "-"
};

// A 32-bit signed whole number in decimal: an optional sign, at least one digit and nothing
// after them (blanks before them when the rules allow). nullopt for any other text and for a
// value outside the 32-bit range; "-2147483648" is inside it.
std::optional<int> ParseWholeNumber(QStringView text, WholeNumberRules rules = {});

} // namespace segmora
