// Feeds arbitrary text (the bytes read as UTF-8, and again as UTF-16 so that lone surrogates
// from a host's strings are covered too) to the MathML to LaTeX translator in both
// dialects, as one fragment and as text with embedded maths and markers, and to question
// validation. Each conversion also runs with the entity declarations read as text, and the
// two must agree exactly: the resolver is only a faster way to the same result.
//
//   cmake --preset fuzz -B build/fuzz && cmake --build build/fuzz --target mathml_fuzz
//   build/fuzz/bin/mathml_fuzz -dict=fuzz/mathml.dict fuzz/corpus/mathml
//
// Deep nesting is bounded by MathmlConverter::MaximumNestingDepth (the converter stops with 1
// instead of recursing further); everything else in the reader is iterative.

#include "mathtext/mathmltolatex.h"

#include <taviosystem/taviosystem.h>

#include <QtCore/QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace Taviosystem;

namespace {

void requireSame(int resolvedResult, const QString& resolved, int declaredResult,
    const QString& declared, const QString& input)
{
    if (resolvedResult == declaredResult && resolved == declared)
        return;
    std::fprintf(stderr, "entity resolver and declarations disagree (%d, %d) on: %s\n",
        resolvedResult, declaredResult, qPrintable(input));
    std::abort();
}

void translateEveryWay(const QString& input)
{
    const QString open = QStringLiteral("[");
    const QString close = QStringLiteral("]");
    TavioSystem& system = TavioSystem::instance();

    for (bool format : { false, true }) {
        for (bool mixed : { false, true }) {
            QString resolved = QStringLiteral("unchanged");
            QString declared = resolved;
            const int resolvedResult
                = system.translateTextMathmlToLatex(input, resolved, open, close, format, mixed);
            const int declaredResult = translateMathmlToLatex(
                input, declared, open, close, format, mixed, MathmlConverter::DeclaredEntities);
            requireSame(resolvedResult, resolved, declaredResult, declared, input);
            if (resolvedResult != 0 && resolved != QStringLiteral("unchanged"))
                std::abort(); // a failure must leave the output alone
        }
    }

    int length = -1;
    const int result = system.validateQuestion(input, length);
    if (result != 0 && result != -2 && length != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    translateEveryWay(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    QString units(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(units.data(), data, size / 2 * 2);
    translateEveryWay(units);
    return 0;
}
