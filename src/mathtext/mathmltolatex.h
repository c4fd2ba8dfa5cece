#pragma once

// Presentation MathML to the LaTeX of the expression devices, for question texts and correct
// answers (TavioSystem::translateTextMathmlToLatex and validateQuestion).

#include <QtCore/QString>
#include <QtCore/QStringList>

namespace Taviosystem {

// A converted segment must be shorter than this many UTF-16 code units: the second dialect
// writes its length in one character the devices read as a byte.
const int MaximumMathmlSegmentLength = 256;
// The longest question text, in UTF-16 code units after conversion, that devices accept.
const int MaximumQuestionLength = 512;

// Converts one MathML fragment to LaTeX. One converter per fragment and thread; the entity
// table and the function-name list are read-only and shared.
class MathmlConverter
{
public:
    // How the full XML reader learns the 83 named entities, for the fragments the library's own
    // reader (MathmlReader, which takes them from the table) leaves to it. Both give the same
    // results for every input: ResolvedEntities answers them from a table as the reader meets
    // them; DeclaredEntities reads entityPrefix() (a document type declaration) before the
    // fragment, which is what a fragment with its own XML or document type declaration always
    // gets.
    enum EntityMode { ResolvedEntities, DeclaredEntities };

    // Elements below math nest at most this deep. Deeper input fails with 1 instead of
    // recursing further; device maths nests a few tens of levels at most.
    static const int MaximumNestingDepth = 128;

    explicit MathmlConverter(EntityMode mode = ResolvedEntities);

    // 0: latex holds the fragment's LaTeX (empty for an empty fragment). 1: the fragment is not
    // well-formed XML, uses an unknown entity or nests too deep; latex holds what was converted
    // before the failure and must not be used.
    int convertFragment(const QString& fragment, QString& latex, bool expressionV2LatexFormat);

    // The document type declaration "<!DOCTYPE mml [...]>" declaring the 83 named entities.
    static const QString& entityPrefix();
    // The replacement text of one of the 83 named entities; a null string for any other name.
    static QString resolveEntity(const QString& name);
    // The same for a name in the text being read; a null view for any other name.
    static QStringView entityValue(QStringView name);
    // The names of the 83 entities, in declaration order.
    static QStringList entityNames();

private:
    // Each runs on the fragment's own reader (MathmlReader) and, for a fragment it does not
    // read, on QXmlStreamReader; both readers offer the same calls.
    template <typename Reader>
    int convertDocument(Reader& reader, QString& latex, bool format);
    template <typename Reader>
    QString convertElement(Reader& reader, bool format);
    template <typename Reader>
    QString convertStartedElement(Reader& reader, bool format);
    template <typename Reader>
    bool readChild(Reader& reader, bool format, QString& latex);
    template <typename Reader>
    QString readChildren(Reader& reader, bool format);
    template <typename Reader>
    void readFixedChildren(Reader& reader, bool format, QString* children, int count);

    EntityMode m_mode;
    bool m_error = false;
    int m_depth = 0;
};

// The whole translation behind TavioSystem::translateTextMathmlToLatex.
//
// mixed false: text is one MathML fragment; the result is convertFragment's and latex becomes
// the LaTeX alone (no markers, no length limit).
// mixed true: every "<math>" ... "</math>" of text becomes open + segment + close (first
// dialect) or open + one character whose code is the segment's length + segment + close
// (second dialect); the text around them is kept. Results: 0 success; 1 a fragment failed;
// -1 a "<math>" without "</math>", a segment of 256 or more code units, or a failure after
// more than 512 code units had been joined.
// latex is assigned only on success.
int translateMathmlToLatex(const QString& text, QString& latex, const QString& open,
    const QString& close, bool expressionV2LatexFormat, bool mixed,
    MathmlConverter::EntityMode mode = MathmlConverter::ResolvedEntities);

} // namespace Taviosystem
