#pragma once

// The reference MathML to LaTeX conversion: the same results as MathmlConverter and
// translateMathmlToLatex, read with QXmlStreamReader for every input.

#include "mathtext/mathmltolatex.h"

class QXmlStreamReader;

namespace Taviosystem {

class ReferenceMathmlConverter
{
public:
    explicit ReferenceMathmlConverter(
        MathmlConverter::EntityMode mode = MathmlConverter::ResolvedEntities);

    int convertFragment(const QString& fragment, QString& latex, bool expressionV2LatexFormat);

private:
    QString convertElement(QXmlStreamReader& reader, bool format);
    QString convertStartedElement(QXmlStreamReader& reader, bool format);
    bool readChild(QXmlStreamReader& reader, bool format, QString& latex);
    QString readChildren(QXmlStreamReader& reader, bool format);
    void readFixedChildren(QXmlStreamReader& reader, bool format, QString* children, int count);

    MathmlConverter::EntityMode m_mode;
    bool m_error = false;
    int m_depth = 0;
};

int referenceTranslateMathmlToLatex(const QString& text, QString& latex, const QString& open,
    const QString& close, bool expressionV2LatexFormat, bool mixed,
    MathmlConverter::EntityMode mode = MathmlConverter::ResolvedEntities);

} // namespace Taviosystem
