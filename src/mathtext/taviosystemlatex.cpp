#include <taviosystem/taviosystem.h>

#include "latextomathml.h"

namespace Taviosystem {

// Runs on the caller's thread; the translator keeps no state between calls.
int TavioSystem::translateTextLatexToMathml(
    const QString& in, QString& out, bool expressionV2LatexFormat)
{
    return LatexParser::translate(in, out, expressionV2LatexFormat);
}

} // namespace Taviosystem
