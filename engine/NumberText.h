#pragma once

namespace engine {

// Number conversions for the engine's text formats (materials, animations,
// scenes). They read "." as the decimal point whatever the process locale
// says: a Qt application switches LC_NUMERIC to the user's, under which the
// C library would read "0.8" as 0.
class NumberText {
public:
    // Reads one float the way "%f" would in the C locale: leading blanks,
    // an optional sign, decimal or exponent notation, "inf" and "nan".
    // Returns the first byte after the number, or null when none starts here.
    static const char* parseFloat(const char* text, float* value);
};

} // namespace engine
