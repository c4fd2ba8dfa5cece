// Feeds arbitrary bytes to the LaTeX to MathML translator in both dialects, read once as UTF-8
// and once as UTF-16, and checks the result contract: 0 or 1, the output untouched on failure
// and on empty text, a whole math element otherwise.
//
// Deep nesting ends at LatexParser::MaximumNestingDepth (the translation fails); every other
// step is one pass over the text, so large inputs cost time in proportion to their length.
//
//   cmake --preset fuzz && cmake --build --preset fuzz --target latex_fuzz
//   build/fuzz/bin/latex_fuzz fuzz/corpus/latex

#include "mathtext/latextomathml.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using Taviosystem::LatexParser;

namespace {

const QString Sentinel = QStringLiteral("sentinel");

void translate(const QString& latex, bool expressionV2LatexFormat)
{
    QString out = Sentinel;
    const int result = LatexParser::translate(latex, out, expressionV2LatexFormat);
    if (result != LatexParser::Result_Success && result != LatexParser::Result_Failure)
        std::abort();
    if (result == LatexParser::Result_Failure || latex.isEmpty()) {
        if (out != Sentinel)
            std::abort();
        return;
    }
    if (latex.contains(QStringLiteral("<math")))
        return;
    if (!out.startsWith(QStringLiteral("<math>\n")) || !out.endsWith(QStringLiteral("</math>")))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString utf8 = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * sizeof(char16_t));
    const QString utf16 = QString::fromUtf16(units.data(), qsizetype(units.size()));
    for (const bool v2 : { false, true }) {
        translate(utf8, v2);
        translate(utf16, v2);
    }
    return 0;
}
