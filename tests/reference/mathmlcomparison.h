#pragma once

// Runs the library's MathML translation and the reference on one input, every way a host can
// ask for it, and describes the first difference.

#include "mathtext/mathmltolatex.h"

#include <QtCore/QString>

#include <cstddef>

namespace Taviosystem {

// Empty when both give the same result and the same output for the input: one fragment and
// text with maths, both dialects, entities resolved and declared. A failure must also leave the
// output as it was.
QString mathmlDifference(const QString& input);

// The same for one way of asking.
QString mathmlDifference(
    const QString& input, bool format, bool mixed, MathmlConverter::EntityMode mode);

// For the differential fuzz target and its seeds: the first byte says how the rest is
// translated, so that each input costs one translation each way. Bit 0: the rest read as UTF-16
// (lone surrogates included) instead of UTF-8; bit 1: the second dialect; bit 2: text with maths
// instead of one fragment; bits 3 to 7 all set: the entity declarations. The library's reader
// does not depend on the entity mode, and the reference reads the declarations before every
// fragment, which is slow: one input in 32 is enough.
QString mathmlDifferenceForInput(const unsigned char* data, std::size_t size);

} // namespace Taviosystem
