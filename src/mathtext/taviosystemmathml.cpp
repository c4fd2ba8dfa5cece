// The MathML side of TavioSystem's maths text: MathML to device LaTeX and question validation.
// Neither touches the hardware, so they work on any thread without initialise().

#include "mathtext/mathmltolatex.h"

#include <taviosystem/taviosystem.h>

namespace Taviosystem {

// markers true: in is text with embedded math elements, each written between the markers;
// false: in is one MathML fragment and out its LaTeX alone.
int TavioSystem::translateTextMathmlToLatex(
    const QString& in, QString& out, bool expressionV2LatexFormat, bool markers)
{
    return translateTextMathmlToLatex(
        in, out, QStringLiteral("["), QStringLiteral("]"), expressionV2LatexFormat, markers);
}

int TavioSystem::translateTextMathmlToLatex(const QString& in, QString& out,
    const QString& startMarker, const QString& endMarker, bool expressionV2LatexFormat,
    bool markers)
{
    return translateMathmlToLatex(
        in, out, startMarker, endMarker, expressionV2LatexFormat, markers);
}

// length receives the length of the converted text (second dialect, mixed text, markers "["
// and "]") when the conversion succeeds, and 0 otherwise. Results: 0 valid; 1 a fragment could
// not be converted; -1 a "<math>" without "</math>" or a segment or failure over its limit;
// -2 the converted text is longer than maxQuestionSize().
int TavioSystem::validateQuestion(const QString& question, int& length)
{
    length = 0;
    QString latex;
    const int result = translateTextMathmlToLatex(question, latex, true, true);
    if (result != 0)
        return result;
    length = int(latex.size());
    return validateQuestionLength(latex) ? 0 : -2;
}

int TavioSystem::maxQuestionSize() { return MaximumQuestionLength; }

bool TavioSystem::validateQuestionLength(const QString& question)
{
    return question.size() <= maxQuestionSize();
}

} // namespace Taviosystem
