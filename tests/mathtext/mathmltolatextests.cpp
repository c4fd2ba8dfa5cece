// MathML to device LaTeX: fragments in both dialects, text with maths and markers, the limits,
// failures that leave the output alone, the nesting guard, and the entity resolver against the
// textual entity declarations.

#include "mathtext/mathmltolatex.h"

#include <taviosystem/taviosystem.h>

#include <gtest/gtest.h>

#include <QtCore/QFile>
#include <QtCore/QStringList>

#include <vector>

using Taviosystem::MathmlConverter;
using Taviosystem::TavioSystem;

namespace {

const QString Untouched = QStringLiteral("untouched");

QString text(const char* utf8) { return QString::fromUtf8(utf8); }
// The second dialect's length character: one UTF-16 code unit holding the segment's length.
QString lengthChar(int length) { return QString(QChar(char16_t(length))); }

QStringList readCorpus()
{
    QFile file(QStringLiteral(TAVIO_TEST_DATA_DIR "/maths/mathml_corpus.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

int translate(const QString& in, QString& out, bool format, bool mixed)
{
    return TavioSystem::instance().translateTextMathmlToLatex(in, out, format, mixed);
}

// One fragment (markers off), its LaTeX in the first dialect and in the second (null: same).
struct FragmentCase
{
    const char* name;
    const char* mathml;
    const char* first;
    const char* second;
};

const FragmentCase FragmentCases[] = {
    { "Fraction", "<math><mfrac><mn>1</mn><mn>2</mn></mfrac></math>", "\\frac{1}{2}", nullptr },
    { "SumUnderOver",
        "<math><munderover><mo>&sum;</mo><mrow><mi>i</mi><mo>=</mo><mn>1</mn></mrow><mi>n</mi>"
        "</munderover></math>",
        "\\sum_{i=1}^{n}", "\\sum{i=1}{n}" },
    { "BigOperatorScripts",
        "<math><msubsup><mo>&int;</mo><mn>0</mn><mn>1</mn></msubsup><munder><mo>&prod;</mo>"
        "<mi>k</mi></munder><mover><mo>&int;</mo><mn>1</mn></mover><msub><mo>&int;</mo><mi>C</mi>"
        "</msub></math>",
        "\\int_{0}^{1}\\prod_{k}\\int^{1}\\int_{C}", "\\int{0}{1}\\prod{k}{}\\int{}{1}\\int{C}{}" },
    { "LetterScripts",
        "<math><msup><mi>x</mi><mn>2</mn></msup><msub><mi>a</mi><mrow><mi>n</mi><mo>-</mo><mn>1</"
        "mn>"
        "</mrow></msub><mover><mi>x</mi><mo>&macr;</mo></mover><munder><mi>y</mi><mo>~</mo>"
        "</munder></math>",
        "x^{2}a_{n-1}x^{_}y_{~}", nullptr },
    { "BothScriptsOnLetters",
        "<math><msubsup><mi>x</mi><mi>i</mi><mn>2</mn></msubsup><munderover><mi>y</mi><mn>0</mn>"
        "<mn>9</mn></munderover></math>",
        "x_{i}^{2}y_{0}^{9}", "\\ss{x}{i}{2}\\ss{y}{0}{9}" },
    { "Roots",
        "<math><mroot><mi>x</mi><mn>3</mn></mroot><msqrt><msup><mi>b</mi><mn>2</mn></msup>"
        "<mo>&minus;</mo><mn>4</mn><mi>a</mi><mi>c</mi></msqrt></math>",
        "\\sqrt[3]{x}\\sqrt{b^{2}-4ac}", "\\sqrt2{3}{x}\\sqrt{b^{2}-4ac}" },
    { "FunctionNames",
        "<math><mi>sin</mi><mi>x</mi><mi>cosec</mi><mi>TAN</mi><mi>arcsec</mi><mi>ln</mi>"
        "<msup><mi>cos</mi><mn>2</mn></msup></math>",
        "\\sin x\\cosec \\TAN \\arcsec ln\\cos ^{2}", "sinxcosecTANarcseclncos^{2}" },
    // The second dialect takes any base written as a command for a big operator.
    { "CommandBases",
        "<math><msup><mfrac><mn>1</mn><mn>2</mn></mfrac><mn>3</mn></msup><msub><msqrt><mi>x</mi>"
        "</msqrt><mn>2</mn></msub><msubsup><msqrt><mi>y</mi></msqrt><mn>1</mn><mn>2</mn>"
        "</msubsup></math>",
        "\\frac{1}{2}^{3}\\sqrt{x}_{2}\\sqrt{y}_{1}^{2}",
        "\\frac{1}{2}{}{3}\\sqrt{x}{2}{}\\sqrt{y}{1}{2}" },
    { "GreekAndSymbols",
        "<math><mi>&alpha;</mi><mo>&times;</mo><mi>&Theta;</mi><mo>&le;</mo><mn>90</mn><mo>&deg;"
        "</mo><mo>&lt;</mo><mi>&infin;</mi><mo>&DifferentialD;</mo><mo>&setmn;</mo><mo>&Hat;</mo>"
        "</math>",
        "α×θ≤90°<∞d\\^", nullptr },
    { "TextIsSimplified",
        "<math><mi>  a \n\t b  </mi><mo> &thinsp; </mo><mn> 3 </mn><latex> \\alpha  +\n 1 </latex>"
        "</math>",
        "a b3\\alpha + 1", nullptr },
    { "IgnoredContent",
        "<math>12<mrow>34<mn>5</mn>6</mrow><mtext>area</mtext><mspace width=\"1em\"/><mphantom>"
        "<mi>x</mi></mphantom><template><mi>y</mi></template><mstyle><mi>z</mi></mstyle></math>",
        "5z", nullptr },
    // Elements of no kind of their own add nothing, but what they wrap is read.
    { "WrappersAreRead",
        "<math><mstyle displaystyle=\"true\"><mfrac><mn>1</mn><mn>2</mn></mfrac></mstyle>"
        "<mpadded lspace=\"1em\">7<mi>x</mi></mpadded><menclose notation=\"box\"><mn>3</mn>"
        "<mtext>m</mtext></menclose><mfenced/></math>",
        "\\frac{1}{2}x3", nullptr },
    { "WrapperAsScript",
        "<math><msup><mstyle><mi>x</mi></mstyle><mpadded><mn>2</mn><mn>0</mn></mpadded></msup>"
        "</math>",
        "x^{20}", nullptr },
    { "SemanticsFirstChildOnly",
        "<math><semantics><mrow><mi>x</mi><mo>+</mo><mn>1</mn></mrow><annotation encoding=\"TeX\">"
        "x+1</annotation><annotation-xml><mi>y</mi></annotation-xml></semantics><semantics/></"
        "math>",
        "x+1", nullptr },
    { "ChildCounts",
        "<math><mfrac><mn>1</mn></mfrac><msubsup><mi>x</mi></msubsup><mroot/><mfrac><mn>1</mn>"
        "<mn>2</mn><mn>3</mn></mfrac><mfrac><mtext>a</mtext><mn>4</mn><mn>5</mn></mfrac><mfrac>"
        "<mrow><mrow><mi>a</mi></mrow><mi>b</mi></mrow><mn>6</mn></mfrac></math>",
        "\\frac{1}{}x_{}^{}\\sqrt[]{}\\frac{1}{2}\\frac{}{4}\\frac{ab}{6}",
        "\\frac{1}{}\\ss{x}{}{}\\sqrt2{}{}\\frac{1}{2}\\frac{}{4}\\frac{ab}{6}" },
    { "OnlyInsideMath", "<!-- q1 --><p><?ed x?><mi>a</mi><math><mi>b</mi></math><mi>c</mi></p>",
        "b", nullptr },
    { "NoMathElement", "<mrow><mi>x</mi></mrow>", "", nullptr },
    { "Empty", "", "", nullptr },
    { "References",
        "<math xmlns=\"http://www.w3.org/1998/Math/MathML\"><mi mathvariant=\"bold\">&#x1D465;</mi>"
        "<mo>&#x2212;</mo><mn>&#49;</mn><mi><![CDATA[&alpha;]]></mi></math>",
        "\U0001D465\u22121&alpha;", nullptr },
};

class MathmlFragmentTest : public ::testing::TestWithParam<FragmentCase>
{
};

TEST_P(MathmlFragmentTest, BothDialects)
{
    const FragmentCase& c = GetParam();
    QString first = Untouched, second = Untouched;
    EXPECT_EQ(translate(text(c.mathml), first, false, false), 0);
    EXPECT_EQ(first, text(c.first));
    EXPECT_EQ(translate(text(c.mathml), second, true, false), 0);
    EXPECT_EQ(second, text(c.second ? c.second : c.first));
}

INSTANTIATE_TEST_SUITE_P(Mathml, MathmlFragmentTest, ::testing::ValuesIn(FragmentCases),
    [](const ::testing::TestParamInfo<FragmentCase>& info) { return info.param.name; });

// Fragments that are not well-formed for the reader: 1 in both dialects, output unchanged.
const char* const FailingFragments[]
    = { "<math><mi>&beta2;</mi></math>", "<math><mi title=\"&nbsp;\">x</mi></math>",
          "<math><mi>x</math></mi>", "<math><mi>x</mi>", "<math><mi><mn>1</mn></mi></math>",
          "x + 1", "<math><mn>1</mn></math><math/>", "<math/> and more", "  \n ",
          // The entity declarations come first, so an XML declaration is no longer at the start.
          "<?xml version=\"1.0\"?><math><mn>1</mn></math>" };

TEST(MathmlToLatex, FailuresGiveOneAndKeepTheOutput)
{
    for (const char* fragment : FailingFragments) {
        for (bool format : { false, true }) {
            QString latex = Untouched;
            EXPECT_EQ(translate(text(fragment), latex, format, false), 1) << fragment;
            EXPECT_EQ(latex, Untouched);
        }
    }
}

// Text with embedded maths (markers on); the output is Untouched where the result is not 0.
struct MixedCase
{
    const char* name;
    QString input;
    int result;
    QString first;
    QString second;
};

std::vector<MixedCase> mixedCases()
{
    const QString half = text("<math><mfrac><mn>1</mn><mn>2</mn></mfrac></math>");
    const QString bad = text("<math><mi>&nosuch;</mi></math>");
    const QString digits255(255, u'7');
    const QString plain = text("What is 2 + 2? <math display=\"inline\"><mi>r</mi></math><MATH/>");
    return {
        { "NoMathIsUnchanged", plain, 0, plain, plain },
        { "FractionInMarkers", half, 0, text("[\\frac{1}{2}]"),
            "[" + lengthChar(11) + "\\frac{1}{2}]" },
        { "TextAroundFragments",
            text("Solve <math><mi>x</mi><mo>+</mo><mn>1</mn></math> = 3 for "
                 "<math><mi>x</mi></math>."),
            0, text("Solve [x+1] = 3 for [x]."),
            "Solve [" + lengthChar(3) + "x+1] = 3 for [" + lengthChar(1) + "x]." },
        { "WrappedFraction",
            text("What is <math><mstyle displaystyle=\"true\"><mfrac><mn>1</mn><mn>2</mn></mfrac>"
                 "</mstyle></math> of 4?"),
            0, text("What is [\\frac{1}{2}] of 4?"),
            "What is [" + lengthChar(11) + "\\frac{1}{2}] of 4?" },
        { "DialectsDiffer", text("<math><msubsup><mi>x</mi><mi>i</mi><mn>2</mn></msubsup></math>"),
            0, text("[x_{i}^{2}]"), "[" + lengthChar(12) + "\\ss{x}{i}{2}]" },
        { "EndTagFirst", text("a</math>b<math></math>"), 0, text("a</math>b[]"),
            "a</math>b[" + lengthChar(0) + "]" },
        // The length counts UTF-16 code units: a character outside the basic plane is two.
        { "LengthInCodeUnits", text("<math><mi>&#x1D465;</mi></math>"), 0, text("[\U0001D465]"),
            "[" + lengthChar(2) + text("\U0001D465]") },
        { "MissingEndTag", half + text(" and <math><mn>1</mn>"), -1, Untouched, Untouched },
        { "Segment255", "<math><mn>" + digits255 + "</mn></math>", 0, "[" + digits255 + "]",
            "[" + lengthChar(255) + digits255 + "]" },
        { "Segment256", "<math><mn>7" + digits255 + "</mn></math>", -1, Untouched, Untouched },
        { "XmlErrorInFragment", half + text("<math><mi>x</math></mi>"), 1, Untouched, Untouched },
        { "FailureAt512", QString(512, u'a') + bad, 1, Untouched, Untouched },
        { "FailureAfter512", QString(513, u'a') + bad, -1, Untouched, Untouched },
        // Converted segments and their markers count towards the joined text.
        { "FailureAfterSegments", QString(502, u'a') + "<math><mn>123456789</mn></math>" + bad, -1,
            Untouched, Untouched },
        // On success the joined text may be longer than 512 code units.
        { "LongTextAccepted", QString(600, u'a') + "<math><mn>1</mn></math>", 0,
            QString(600, u'a') + "[1]", QString(600, u'a') + "[" + lengthChar(1) + "1]" },
    };
}

class MathmlMixedTest : public ::testing::TestWithParam<MixedCase>
{
};

TEST_P(MathmlMixedTest, BothDialects)
{
    const MixedCase& c = GetParam();
    QString first = Untouched, second = Untouched;
    EXPECT_EQ(translate(c.input, first, false, true), c.result);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(translate(c.input, second, true, true), c.result);
    EXPECT_EQ(second, c.second);
}

INSTANTIATE_TEST_SUITE_P(Mathml, MathmlMixedTest, ::testing::ValuesIn(mixedCases()),
    [](const ::testing::TestParamInfo<MixedCase>& info) { return info.param.name; });

TEST(MathmlToLatex, OwnMarkersAndNoLimitOnASingleFragment)
{
    QString latex;
    EXPECT_EQ(TavioSystem::instance().translateTextMathmlToLatex(
                  text("a<math><mn>2</mn></math>"), latex, "$$", "<end>", true, true),
        0);
    EXPECT_EQ(latex, "a$$" + lengthChar(1) + "2<end>");
    const QString digits(300, u'4');
    EXPECT_EQ(TavioSystem::instance().translateTextMathmlToLatex(
                  "<math><mn>" + digits + "</mn></math>", latex, "[", "]", true, false),
        0);
    EXPECT_EQ(latex, digits);
}

// The math element is the first level of nesting.
TEST(MathmlToLatex, NestingDepthIsGuarded)
{
    const int allowed = MathmlConverter::MaximumNestingDepth - 1;
    QString latex = Untouched;
    EXPECT_EQ(translate("<math>" + text("<mrow>").repeated(allowed) + "<mn>1</mn>"
                      + text("</mrow>").repeated(allowed) + "</math>",
                  latex, true, false),
        0);
    EXPECT_EQ(latex, text("1"));
    latex = Untouched;
    EXPECT_EQ(translate("<math>" + text("<mfrac>").repeated(allowed + 1) + "<mn>1</mn>"
                      + text("</mfrac>").repeated(allowed + 1) + "</math>",
                  latex, true, false),
        1);
    EXPECT_EQ(latex, Untouched);
    EXPECT_EQ(translate("<math>" + text("<msup>").repeated(100000), latex, false, false), 1);
    // Outside math nothing recurses, however deep.
    EXPECT_EQ(translate(text("<a>").repeated(100000) + text("</a>").repeated(100000), latex, false,
                  false),
        0);
}

TEST(MathmlEntities, ResolverMatchesDeclarations)
{
    const QString& prefix = MathmlConverter::entityPrefix();
    EXPECT_TRUE(prefix.startsWith(u"<!DOCTYPE mml [<!ENTITY sum '\\sum'><!ENTITY prod '\\prod'>"));
    EXPECT_TRUE(prefix.contains(u"<!ENTITY minus '&#x002D;'>"));
    EXPECT_TRUE(prefix.endsWith(u"<!ENTITY deg '&#xb0;'><!ENTITY Hat '&#x5e;'>]>"));
    EXPECT_EQ(prefix.count(u"<!ENTITY "), 83);
    EXPECT_EQ(MathmlConverter::entityNames().size(), 83);
    for (const QString& name : MathmlConverter::entityNames()) {
        const QString fragment = "<math><mi>&" + name + ";&" + name + ";</mi></math>";
        QString resolved, declared;
        EXPECT_EQ(MathmlConverter(MathmlConverter::ResolvedEntities)
                      .convertFragment(fragment, resolved, false),
            0);
        EXPECT_EQ(MathmlConverter(MathmlConverter::DeclaredEntities)
                      .convertFragment(fragment, declared, false),
            0);
        EXPECT_EQ(resolved, declared) << qPrintable(name);
    }
    EXPECT_EQ(MathmlConverter::resolveEntity("Theta"), QString(QChar(0x03B8)));
    EXPECT_EQ(MathmlConverter::resolveEntity("macr"), text("_"));
    EXPECT_EQ(MathmlConverter::resolveEntity("sim"), text("~"));
    EXPECT_TRUE(MathmlConverter::resolveEntity("nbsp").isNull());
}

// The corpus converts, and both ways of knowing the entities agree on it and on fragments whose
// own prolog meets the declarations.
TEST(MathmlCorpus, ConvertsAndResolverAgreesWithDeclarations)
{
    QStringList inputs = readCorpus();
    ASSERT_GE(inputs.size(), 200);
    const qsizetype corpusSize = inputs.size();
    for (const char* fragment : FailingFragments)
        inputs.append(text(fragment));
    inputs << text("<!DOCTYPE math><math><mn>1</mn></math>") << text("<!doctype math><math/>")
           << text("<!DOCTYPE m [<!ENTITY alpha 'A'>]><math><mi>&alpha;</mi></math>")
           << text(" <?xml version=\"1.0\"?><math/>") << text("\xEF\xBB\xBF<math/>");
    for (qsizetype i = 0; i < inputs.size(); ++i) {
        for (int way = 0; way < 4; ++way) {
            const bool format = way & 1, mixed = way & 2;
            QString resolved = Untouched, declared = Untouched;
            const int result = Taviosystem::translateMathmlToLatex(
                inputs[i], resolved, "[", "]", format, mixed, MathmlConverter::ResolvedEntities);
            EXPECT_EQ(result,
                Taviosystem::translateMathmlToLatex(inputs[i], declared, "[", "]", format, mixed,
                    MathmlConverter::DeclaredEntities));
            EXPECT_EQ(resolved, declared) << qPrintable(inputs[i]);
            EXPECT_TRUE(i >= corpusSize || result == 0) << qPrintable(inputs[i]);
        }
    }
}

} // namespace
