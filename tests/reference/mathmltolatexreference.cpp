// The MathML to LaTeX conversion as it was written on QXmlStreamReader, kept unchanged as the
// reference the library's own reader is compared with (tests/mathtext and fuzz/mathmldiff).
// Only the class and function names differ; the entity table is the library's.

#include "mathmltolatexreference.h"

#include <QtCore/QXmlStreamEntityResolver>
#include <QtCore/QXmlStreamReader>

#include <initializer_list>

namespace Taviosystem {

namespace {

// In the first dialect an identifier containing one of these (in any case) is a function.
const char16_t* const FunctionNames[] = { u"cos", u"sin", u"tan", u"sec", u"cosec", u"cot" };

// What an element becomes.
enum class ElementKind {
    Unknown, // any element not listed: nothing of its own, but its children are read as for mrow
    Skipped, // mtext, mphantom, mspace, template: skipped with their content
    Row, // mrow (and a math element inside math): the children concatenated
    Semantics, // semantics: its first child only; the annotations after it are skipped
    Identifier, // mi
    Text, // mn, mo, latex: the element text, simplified
    Fraction, // mfrac: numerator, denominator
    SquareRoot, // msqrt: the children as for mrow
    Root, // mroot: base, index
    Superscript, // msup, mover: base, script
    Subscript, // msub, munder: base, script
    SubSuperscript // msubsup, munderover: base, subscript, superscript
};

struct ElementName
{
    const char16_t* name;
    ElementKind kind;
};

const ElementName ElementNames[] = {
    { u"mi", ElementKind::Identifier },
    { u"mn", ElementKind::Text },
    { u"mo", ElementKind::Text },
    { u"mrow", ElementKind::Row },
    { u"msup", ElementKind::Superscript },
    { u"msub", ElementKind::Subscript },
    { u"mfrac", ElementKind::Fraction },
    { u"msqrt", ElementKind::SquareRoot },
    { u"mroot", ElementKind::Root },
    { u"mover", ElementKind::Superscript },
    { u"munder", ElementKind::Subscript },
    { u"msubsup", ElementKind::SubSuperscript },
    { u"munderover", ElementKind::SubSuperscript },
    { u"latex", ElementKind::Text },
    { u"mtext", ElementKind::Skipped },
    { u"mphantom", ElementKind::Skipped },
    { u"mspace", ElementKind::Skipped },
    { u"template", ElementKind::Skipped },
    { u"math", ElementKind::Row },
    { u"semantics", ElementKind::Semantics },
};

ElementKind elementKind(QStringView name)
{
    for (const ElementName& element : ElementNames) {
        if (name == QStringView(element.name))
            return element.kind;
    }
    return ElementKind::Unknown;
}

bool containsFunctionName(const QString& text)
{
    for (const char16_t* name : FunctionNames) {
        if (text.contains(QStringView(name), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString joinLatex(std::initializer_list<QStringView> parts)
{
    qsizetype size = 0;
    for (const QStringView part : parts)
        size += part.size();
    QString latex;
    latex.reserve(size);
    for (const QStringView part : parts)
        latex += part;
    return latex;
}

// In the second dialect a base written as a command (a big operator, but equally \frac or
// \sqrt) takes its scripts as two brace groups.
bool isCommandBase(const QString& base, bool format) { return format && base.startsWith(u'\\'); }

// Answers the 83 named entities while the reader runs.
class MathmlEntityResolver : public QXmlStreamEntityResolver
{
public:
    QString resolveUndeclaredEntity(const QString& name) override
    {
        return MathmlConverter::resolveEntity(name);
    }
};

// Whether the fragment's own prolog could depend on what comes before it: an XML declaration
// is an error after the entity prefix, and a document type declaration of its own meets the
// prefix's. Such a fragment is read after the textual prefix, exactly as it would be without
// the resolver.
bool needsDeclaredEntities(const QString& fragment)
{
    const QStringView text(fragment);
    for (qsizetype at = text.indexOf(u'<'); at >= 0 && at + 1 < text.size();
         at = text.indexOf(u'<', at + 1)) {
        const QChar next = text.at(at + 1);
        if (next == u'?' && text.mid(at + 2, 3).compare(u"xml", Qt::CaseInsensitive) == 0)
            return true;
        if (next == u'!' && text.mid(at + 2, 7).compare(u"DOCTYPE", Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Keeps the nesting count right on every way out of a recursive element.
class DepthGuard
{
public:
    explicit DepthGuard(int& depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& m_depth;
};

} // namespace

ReferenceMathmlConverter::ReferenceMathmlConverter(MathmlConverter::EntityMode mode)
    : m_mode(mode)
{
}

int ReferenceMathmlConverter::convertFragment(
    const QString& fragment, QString& latex, bool expressionV2LatexFormat)
{
    latex.clear();
    if (fragment.isEmpty())
        return 0;
    m_error = false;
    m_depth = 0;

    static MathmlEntityResolver resolver; // stateless, so shared by every thread
    const bool declare
        = m_mode == MathmlConverter::DeclaredEntities || needsDeclaredEntities(fragment);
    QXmlStreamReader reader(declare ? MathmlConverter::entityPrefix() + fragment : fragment);
    if (!declare)
        reader.setEntityResolver(&resolver);

    while (!reader.atEnd() && !reader.hasError() && !m_error) {
        const QString element = convertElement(reader, expressionV2LatexFormat);
        if (!m_error)
            latex += element;
    }
    return reader.hasError() || m_error ? 1 : 0;
}

// The LaTeX of the next math element. Tokens before its start tag produce nothing, and an end
// tag met on the way ends the call with an empty text. The math element is read as a whole, up
// to its own end tag, so everything after it produces nothing until the next math element.
QString ReferenceMathmlConverter::convertElement(QXmlStreamReader& reader, bool format)
{
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && reader.name() == u"math")
            return convertStartedElement(reader, format);
        if (token == QXmlStreamReader::EndElement)
            return QString();
    }
    return QString();
}

// Reader on the start tag of an element inside math; returns with the reader on its end tag.
QString ReferenceMathmlConverter::convertStartedElement(QXmlStreamReader& reader, bool format)
{
    const ElementKind kind = elementKind(reader.name());
    switch (kind) {
    case ElementKind::Identifier: {
        const QString text = reader.readElementText().simplified();
        if (!format && containsFunctionName(text))
            return joinLatex({ u"\\", text, u" " });
        return text;
    }
    case ElementKind::Text:
        return reader.readElementText().simplified();
    case ElementKind::Skipped:
        reader.skipCurrentElement();
        return QString();
    default:
        break;
    }

    // The remaining kinds recurse into their children: stop before the stack could run out.
    if (m_depth >= MathmlConverter::MaximumNestingDepth) {
        m_error = true;
        return QString();
    }
    const DepthGuard guard(m_depth);
    QString children[3];
    switch (kind) {
    case ElementKind::Row:
    case ElementKind::Unknown: // mstyle, mpadded, menclose and other wrappers editors write
        return readChildren(reader, format);
    case ElementKind::Semantics:
        readFixedChildren(reader, format, children, 1);
        return children[0];
    case ElementKind::SquareRoot:
        return joinLatex({ u"\\sqrt{", readChildren(reader, format), u"}" });
    case ElementKind::Fraction:
        readFixedChildren(reader, format, children, 2);
        return joinLatex({ u"\\frac{", children[0], u"}{", children[1], u"}" });
    case ElementKind::Root:
        readFixedChildren(reader, format, children, 2);
        if (format)
            return joinLatex({ u"\\sqrt2{", children[1], u"}{", children[0], u"}" });
        return joinLatex({ u"\\sqrt[", children[1], u"]{", children[0], u"}" });
    case ElementKind::Superscript:
        readFixedChildren(reader, format, children, 2);
        if (isCommandBase(children[0], format))
            return joinLatex({ children[0], u"{}{", children[1], u"}" });
        return joinLatex({ children[0], u"^{", children[1], u"}" });
    case ElementKind::Subscript:
        readFixedChildren(reader, format, children, 2);
        if (isCommandBase(children[0], format))
            return joinLatex({ children[0], u"{", children[1], u"}{}" });
        return joinLatex({ children[0], u"_{", children[1], u"}" });
    case ElementKind::SubSuperscript:
        readFixedChildren(reader, format, children, 3);
        if (isCommandBase(children[0], format))
            return joinLatex({ children[0], u"{", children[1], u"}{", children[2], u"}" });
        if (format) {
            return joinLatex(
                { u"\\ss{", children[0], u"}{", children[1], u"}{", children[2], u"}" });
        }
        return joinLatex({ children[0], u"_{", children[1], u"}^{", children[2], u"}" });
    default:
        return QString();
    }
}

// Converts the next child element into latex and returns true; returns false when the parent's
// end tag (or the end of the input, an error) comes first. Character data, comments and
// processing instructions between children produce nothing.
bool ReferenceMathmlConverter::readChild(QXmlStreamReader& reader, bool format, QString& latex)
{
    latex.clear();
    while (!m_error && !reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            latex = convertStartedElement(reader, format);
            return true;
        case QXmlStreamReader::EndElement:
        case QXmlStreamReader::Invalid:
            return false;
        default:
            break;
        }
    }
    return false;
}

QString ReferenceMathmlConverter::readChildren(QXmlStreamReader& reader, bool format)
{
    QString latex;
    QString child;
    while (readChild(reader, format, child))
        latex += child;
    return latex;
}

// An element with a fixed number of children: missing children stay empty, extra ones are
// skipped up to the element's own end tag.
void ReferenceMathmlConverter::readFixedChildren(
    QXmlStreamReader& reader, bool format, QString* children, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!readChild(reader, format, children[i]))
            return;
    }
    if (!m_error)
        reader.skipCurrentElement();
}

int referenceTranslateMathmlToLatex(const QString& text, QString& latex, const QString& open,
    const QString& close, bool expressionV2LatexFormat, bool mixed,
    MathmlConverter::EntityMode mode)
{
    ReferenceMathmlConverter converter(mode);
    QString joined;
    if (!mixed) {
        const int result = converter.convertFragment(text, joined, expressionV2LatexFormat);
        if (result == 0)
            latex = joined;
        return result;
    }

    const QString mathStart = QStringLiteral("<math>");
    const QString mathEnd = QStringLiteral("</math>");
    QString segment;
    qsizetype position = 0;
    for (;;) {
        const qsizetype start = text.indexOf(mathStart, position);
        if (start < 0) {
            joined += QStringView(text).mid(position);
            break;
        }
        joined += QStringView(text).mid(position, start - position);
        const qsizetype end = text.indexOf(mathEnd, start);
        if (end < 0)
            return -1;
        position = end + mathEnd.size();
        if (converter.convertFragment(
                text.mid(start, position - start), segment, expressionV2LatexFormat)
            != 0)
            return joined.size() > MaximumQuestionLength ? -1 : 1;
        if (segment.size() >= MaximumMathmlSegmentLength)
            return -1;
        joined += open;
        if (expressionV2LatexFormat)
            joined += QChar(char16_t(segment.size()));
        joined += segment;
        joined += close;
    }
    latex = joined;
    return 0;
}

} // namespace Taviosystem
