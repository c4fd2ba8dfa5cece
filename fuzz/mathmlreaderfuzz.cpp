// Differential target: the library's MathML reader against the QXmlStreamReader reference kept
// under tests/reference; any difference in result or output aborts. The first byte of an input
// says how the rest is translated (see mathmlDifferenceForInput).
//
//   cmake --preset fuzz -B build/fuzz && cmake --build build/fuzz --target mathmlreader_fuzz
//   build/fuzz/bin/mathmlreader_fuzz -dict=fuzz/mathml.dict fuzz/corpus/mathmlreader

#include "reference/mathmlcomparison.h"

#include <QtCore/QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString difference = Taviosystem::mathmlDifferenceForInput(data, size);
    if (!difference.isEmpty()) {
        std::fprintf(stderr, "the readers disagree: %s\n", qPrintable(difference));
        std::abort();
    }
    return 0;
}
