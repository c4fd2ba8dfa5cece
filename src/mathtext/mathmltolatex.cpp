#include "mathmltolatex.h"

#include "mathmlreader.h"

#include <QtCore/QHash>
#include <QtCore/QXmlStreamEntityResolver>
#include <QtCore/QXmlStreamReader>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <iterator>

namespace Taviosystem {

namespace {

// One named entity: its name, its replacement text, and the value as the document type
// declaration writes it (character references for single characters).
struct MathmlEntity
{
    const char16_t* name;
    const char16_t* value;
    const char16_t* declaredValue;
};

// The named entities MathML from hosts may use, in declaration order. "Theta" is the small
// theta, "macr" the low line and "sim" the tilde: devices have no other glyphs for them.
const MathmlEntity MathmlEntities[] = {
    { u"sum", u"\\sum", u"\\sum" },
    { u"prod", u"\\prod", u"\\prod" },
    { u"int", u"\\int", u"\\int" },
    { u"minus", u"\u002D", u"&#x002D;" },
    { u"times", u"\u00D7", u"&#x00D7;" },
    { u"divide", u"\u00F7", u"&#x00F7;" },
    { u"plusmn", u"\u00B1", u"&#x00B1;" },
    { u"PlusMinus", u"\u00B1", u"&#x00B1;" },
    { u"mnplus", u"\u2213", u"&#x2213;" },
    { u"InvisibleTimes", u"\u2062", u"&#x2062;" },
    { u"euro", u"\u20AC", u"&#x20AC;" },
    { u"infin", u"\u221E", u"&#x221E;" },
    { u"prop", u"\u221D", u"&#x221D;" },
    { u"ang", u"\u2220", u"&#x2220;" },
    { u"angle", u"\u2220", u"&#x2220;" },
    { u"angrt", u"\u221F", u"&#x221F;" },
    { u"vangrt", u"\u221F", u"&#x221F;" },
    { u"angmsd", u"\u221F", u"&#x221F;" },
    { u"angrtvb", u"\u22BE", u"&#x22BE;" },
    { u"angrtvbd", u"\u22BE", u"&#x22BE;" },
    { u"angsph", u"\u22BE", u"&#x22BE;" },
    { u"setmn", u"\u005C", u"&#x005C;" },
    { u"perp", u"\u22A5", u"&#x22A5;" },
    { u"macr", u"\u005F", u"&#x005F;" },
    { u"mid", u"\u007C", u"&#x007C;" },
    { u"circ", u"\u005E", u"&#x005E;" },
    { u"there4", u"\u2234", u"&#x2234;" },
    { u"becaus", u"\u2235", u"&#x2235;" },
    { u"forall", u"\u2200", u"&#x2200;" },
    { u"isinv", u"\u2208", u"&#x2208;" },
    { u"cap", u"\u2229", u"&#x2229;" },
    { u"cup", u"\u222A", u"&#x222A;" },
    { u"uplus", u"\u228E", u"&#x228E;" },
    { u"Gamma", u"\u0393", u"&#x0393;" },
    { u"Delta", u"\u0394", u"&#x0394;" },
    { u"Theta", u"\u03B8", u"&#x03B8;" },
    { u"Lambda", u"\u039B", u"&#x039B;" },
    { u"Xi", u"\u039E", u"&#x039E;" },
    { u"Pi", u"\u03A0", u"&#x03A0;" },
    { u"Sigma", u"\u03A3", u"&#x03A3;" },
    { u"Upsilon", u"\u03A5", u"&#x03A5;" },
    { u"Phi", u"\u03A6", u"&#x03A6;" },
    { u"Psi", u"\u03A8", u"&#x03A8;" },
    { u"Omega", u"\u03A9", u"&#x03A9;" },
    { u"alpha", u"\u03B1", u"&#x03B1;" },
    { u"beta", u"\u03B2", u"&#x03B2;" },
    { u"gamma", u"\u03B3", u"&#x03B3;" },
    { u"delta", u"\u03B4", u"&#x03B4;" },
    { u"epsi", u"\u03B5", u"&#x03B5;" },
    { u"zeta", u"\u03B6", u"&#x03B6;" },
    { u"eta", u"\u03B7", u"&#x03B7;" },
    { u"theta", u"\u03B8", u"&#x03B8;" },
    { u"iota", u"\u03B9", u"&#x03B9;" },
    { u"kappa", u"\u03BA", u"&#x03BA;" },
    { u"lambda", u"\u03BB", u"&#x03BB;" },
    { u"mu", u"\u03BC", u"&#x03BC;" },
    { u"nu", u"\u03BD", u"&#x03BD;" },
    { u"xi", u"\u03BE", u"&#x03BE;" },
    { u"omicron", u"\u03BF", u"&#x03BF;" },
    { u"pi", u"\u03C0", u"&#x03C0;" },
    { u"rho", u"\u03C1", u"&#x03C1;" },
    { u"sigmav", u"\u03C2", u"&#x03C2;" },
    { u"sigma", u"\u03C3", u"&#x03C3;" },
    { u"tau", u"\u03C4", u"&#x03C4;" },
    { u"upsi", u"\u03C5", u"&#x03C5;" },
    { u"phi", u"\u03C6", u"&#x03C6;" },
    { u"chi", u"\u03C7", u"&#x03C7;" },
    { u"psi", u"\u03C8", u"&#x03C8;" },
    { u"omega", u"\u03C9", u"&#x03C9;" },
    { u"larr", u"\u2190", u"&#x2190;" },
    { u"rarr", u"\u2192", u"&#x2192;" },
    { u"uarr", u"\u2191", u"&#x2191;" },
    { u"darr", u"\u2193", u"&#x2193;" },
    { u"ne", u"\u2260", u"&#x2260;" },
    { u"le", u"\u2264", u"&#x2264;" },
    { u"ge", u"\u2265", u"&#x2265;" },
    { u"equiv", u"\u2261", u"&#x2261;" },
    { u"ap", u"\u2248", u"&#x2248;" },
    { u"sim", u"\u007E", u"&#x007E;" },
    { u"thinsp", u"\u2009", u"&#x2009;" },
    { u"DifferentialD", u"d", u"d" },
    { u"deg", u"\u00B0", u"&#xb0;" },
    { u"Hat", u"\u005E", u"&#x5e;" },
};
static_assert(std::size(MathmlEntities) == 83, "MathML input knows 83 named entities");

// In the first dialect an identifier containing one of these (in any case) is a function.
// Views, so that their lengths are counted once and not at every comparison.
const QStringView FunctionNames[] = { u"cos", u"sin", u"tan", u"sec", u"cosec", u"cot" };

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
    QStringView name;
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
        if (name == element.name)
            return element.kind;
    }
    return ElementKind::Unknown;
}

bool containsFunctionName(const QString& text)
{
    for (const QStringView name : FunctionNames) {
        if (text.contains(name, Qt::CaseInsensitive))
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

// Answers the 83 named entities while the reader runs, so that no declaration has to be read
// per fragment. The reader asks only for names that are neither predefined nor declared.
class MathmlEntityResolver : public QXmlStreamEntityResolver
{
public:
    QString resolveUndeclaredEntity(const QString& name) override
    {
        return MathmlConverter::resolveEntity(name);
    }
};

const QHash<QString, QString>& entityValues()
{
    static const QHash<QString, QString> values = [] {
        QHash<QString, QString> table;
        for (const MathmlEntity& entity : MathmlEntities)
            table.insert(QString::fromUtf16(entity.name), QString::fromUtf16(entity.value));
        return table;
    }();
    return values;
}

// The entity table in name order, for lookups by binary search.
struct NamedValue
{
    QStringView name;
    QStringView value;
};
using EntitiesByName = std::array<NamedValue, std::size(MathmlEntities)>;

const EntitiesByName& entitiesByName()
{
    static const EntitiesByName sorted = [] {
        EntitiesByName entities;
        for (std::size_t i = 0; i < entities.size(); ++i)
            entities[i] = { MathmlEntities[i].name, MathmlEntities[i].value };
        std::sort(entities.begin(), entities.end(),
            [](const NamedValue& a, const NamedValue& b) { return a.name < b.name; });
        return entities;
    }();
    return sorted;
}

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

MathmlConverter::MathmlConverter(EntityMode mode)
    : m_mode(mode)
{
}

const QString& MathmlConverter::entityPrefix()
{
    static const QString prefix = [] {
        QString text = QStringLiteral("<!DOCTYPE mml [");
        for (const MathmlEntity& entity : MathmlEntities) {
            text += joinLatex({ u"<!ENTITY ", entity.name, u" '", entity.declaredValue, u"'>" });
        }
        text += QStringLiteral("]>");
        return text;
    }();
    return prefix;
}

QString MathmlConverter::resolveEntity(const QString& name) { return entityValues().value(name); }

QStringView MathmlConverter::entityValue(QStringView name)
{
    const EntitiesByName& entities = entitiesByName();
    const auto found = std::lower_bound(entities.begin(), entities.end(), name,
        [](const NamedValue& entity, QStringView key) { return entity.name < key; });
    if (found == entities.end() || found->name != name)
        return QStringView();
    return found->value;
}

QStringList MathmlConverter::entityNames()
{
    QStringList names;
    for (const MathmlEntity& entity : MathmlEntities)
        names.append(QString::fromUtf16(entity.name));
    return names;
}

int MathmlConverter::convertFragment(
    const QString& fragment, QString& latex, bool expressionV2LatexFormat)
{
    latex.clear();
    if (fragment.isEmpty())
        return 0;
    {
        MathmlReader reader(fragment);
        const int result = convertDocument(reader, latex, expressionV2LatexFormat);
        if (!reader.hasError())
            return result;
    }

    // Outside what MathmlReader reads (or not well-formed): the full XML reader decides.
    latex.clear();
    static MathmlEntityResolver resolver; // stateless, so shared by every thread
    const bool declare = m_mode == DeclaredEntities || needsDeclaredEntities(fragment);
    QXmlStreamReader reader(declare ? entityPrefix() + fragment : fragment);
    if (!declare)
        reader.setEntityResolver(&resolver);
    return convertDocument(reader, latex, expressionV2LatexFormat);
}

template <typename Reader>
int MathmlConverter::convertDocument(Reader& reader, QString& latex, bool format)
{
    m_error = false;
    m_depth = 0;
    while (!reader.atEnd() && !reader.hasError() && !m_error) {
        const QString element = convertElement(reader, format);
        if (!m_error)
            latex += element;
    }
    return reader.hasError() || m_error ? 1 : 0;
}

// The LaTeX of the next math element. Tokens before its start tag produce nothing, and an end
// tag met on the way ends the call with an empty text. The math element is read as a whole, up
// to its own end tag, so everything after it produces nothing until the next math element.
template <typename Reader>
QString MathmlConverter::convertElement(Reader& reader, bool format)
{
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == Reader::StartElement && reader.name() == u"math")
            return convertStartedElement(reader, format);
        if (token == Reader::EndElement)
            return QString();
    }
    return QString();
}

// Reader on the start tag of an element inside math; returns with the reader on its end tag.
template <typename Reader>
QString MathmlConverter::convertStartedElement(Reader& reader, bool format)
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
    if (m_depth >= MaximumNestingDepth) {
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
template <typename Reader>
bool MathmlConverter::readChild(Reader& reader, bool format, QString& latex)
{
    latex.clear();
    while (!m_error && !reader.atEnd()) {
        switch (reader.readNext()) {
        case Reader::StartElement:
            latex = convertStartedElement(reader, format);
            return true;
        case Reader::EndElement:
        case Reader::Invalid:
            return false;
        default:
            break;
        }
    }
    return false;
}

template <typename Reader>
QString MathmlConverter::readChildren(Reader& reader, bool format)
{
    QString latex;
    QString child;
    while (readChild(reader, format, child))
        latex += child;
    return latex;
}

// An element with a fixed number of children: missing children stay empty, extra ones are
// skipped up to the element's own end tag.
template <typename Reader>
void MathmlConverter::readFixedChildren(Reader& reader, bool format, QString* children, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!readChild(reader, format, children[i]))
            return;
    }
    if (!m_error)
        reader.skipCurrentElement();
}

int translateMathmlToLatex(const QString& text, QString& latex, const QString& open,
    const QString& close, bool expressionV2LatexFormat, bool mixed,
    MathmlConverter::EntityMode mode)
{
    MathmlConverter converter(mode);
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
