// LaTeX to MathML: the documented examples and readings, both dialects side by side, failures
// that leave the output alone, the entry rules, the symbol table, the tokeniser's longest
// matches, the nesting guard and the committed corpus.

#include "mathtext/latexsymbols.h"
#include "mathtext/latextomathml.h"

#include <taviosystem/taviosystem.h>

#include <gtest/gtest.h>

#include <QtCore/QFile>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using Taviosystem::LatexParser;
using Taviosystem::LatexSymbol;

namespace {

const QString Untouched = QStringLiteral("untouched");
const char* const Fails = nullptr;

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

// Translates in one dialect; "FAIL" when the result is 1 and the output was left alone. UTF-8,
// so that a mismatch prints readably.
std::string translated(const char* latex, bool expressionV2LatexFormat)
{
    QString out = Untouched;
    const int result = LatexParser::translate(text(latex), out, expressionV2LatexFormat);
    if (result == 1 && out == Untouched)
        return "FAIL";
    if (result != 0)
        return QStringLiteral("bad result %1, output %2").arg(result).arg(out).toStdString();
    return out.toStdString();
}

// The expected output for a fragment body, or "FAIL".
std::string expected(const char* body)
{
    return body ? "<math>\n" + std::string(body) + "</math>" : "FAIL";
}

struct Case
{
    const char* latex;
    const char* first; // body in the first dialect, Fails for result 1
    const char* second; // body in the second dialect
};

void expectCases(const Case* cases, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(translated(c.latex, false), expected(c.first)) << "first dialect: " << c.latex;
        EXPECT_EQ(translated(c.latex, true), expected(c.second)) << "second dialect: " << c.latex;
    }
}

TEST(LatexToMathml, DocumentedExamples)
{
    const Case cases[] = {
        // The base is always an mi, a bare script an mn without a line break.
        { "x^2", "<msup>\n<mi>x</mi>\n<mn>2</mn></msup>\n",
            "<msup>\n<mi>x</mi>\n<mn>2</mn></msup>\n" },
        { "\\frac{1}{2}", "<mfrac>\n<mn>1</mn>\n<mn>2</mn>\n</mfrac>\n",
            "<mfrac>\n<mn>1</mn>\n<mn>2</mn>\n</mfrac>\n" },
        { "\\frac{a+b}{2}",
            "<mfrac>\n<mrow>\n<mi>a</mi>\n<mo>+</mo>\n<mi>b</mi>\n</mrow>\n<mn>2</mn>\n</mfrac>\n",
            "<mfrac>\n<mrow>\n<mi>a</mi>\n<mo>+</mo>\n<mi>b</mi>\n</mrow>\n<mn>2</mn>\n</"
            "mfrac>\n" },
        { "\\frac{1}2", Fails, Fails },
        { "(x", Fails, Fails },
        { "x)", Fails, Fails },
        { "\\alpha", "<mi>\u03B1</mi>\n", "<mi>\u03B1</mi>\n" },
        { "\\foo", "", "" },
        { "abc", "<mi>a</mi>\n<mi>b</mi>\n<mi>c</mi>\n", "<mi>a</mi>\n<mi>b</mi>\n<mi>c</mi>\n" },
        { "sin", "<mi>sin</mi>\n", "<mi>sin</mi>\n" },
        { "(x+1)^2", Fails, Fails },
    };
    expectCases(cases, std::size(cases));
}

TEST(LatexToMathml, DialectsSideBySide)
{
    const Case cases[] = {
        // Functions: commands only in the first dialect, plain names in both.
        { "\\sin x", "<mi>sin</mi>\n<mi>x</mi>\n", "<mi>x</mi>\n" },
        { "\\cosec\\theta", "<mi>cosec</mi>\n<mi>\u03B8</mi>\n", "<mi>\u03B8</mi>\n" },
        { "\\ln^2", "<mi>ln</mi>\n<mo>^</mo>\n<mn>2</mn>\n",
            "<msup>\n<mi>\\ln</mi>\n<mn>2</mn></msup>\n" },
        { "cos x", "<mi>cos</mi>\n<mi>x</mi>\n", "<mi>cos</mi>\n<mi>x</mi>\n" },
        // Big operators: marked limits in the first dialect, bare groups in the second.
        { "\\sum_{i=1}^{n}i",
            "<munderover>\n<mo>&sum;</mo>\n<mrow>\n<mi>i</mi>\n<mo>=</mo>\n<mn>1</mn>\n</mrow>\n"
            "<mi>n</mi>\n</munderover>\n<mi>i</mi>\n",
            Fails },
        { "\\sum{i=1}{n}i",
            "<mo>&sum;</mo>\n<mrow>\n<mo>{</mo>\n<mrow>\n<mi>i</mi>\n<mo>=</mo>\n<mn>1</mn>\n"
            "</mrow>\n<mo>}</mo>\n</mrow>\n<mrow>\n<mo>{</mo>\n<mi>n</mi>\n<mo>}</mo>\n</mrow>\n"
            "<mi>i</mi>\n",
            "<munderover>\n<mo>&sum;</mo>\n<mrow>\n<mi>i</mi>\n<mo>=</mo>\n<mn>1</mn>\n</mrow>\n"
            "<mi>n</mi>\n</munderover>\n<mi>i</mi>\n" },
        { "\\int x dx", "<mo>&int;</mo>\n<mi>x</mi>\n<mi>d</mi>\n<mi>x</mi>\n", Fails },
        { "\\int_{-1}^{1}x",
            "<munderover>\n<mo>&int;</mo>\n<mrow>\n<mo>-</mo>\n<mn>1</mn>\n</mrow>\n<mn>1</mn>\n"
            "</munderover>\n<mi>x</mi>\n",
            Fails },
        // With simple limits the first dialect's clean-up makes a script of the operator.
        { "\\int_0^1", "<msubsup>\n<mo>&int;</mo>\n<mn>0</mn>\n<mn>1</mn>\n</msubsup>\n", Fails },
        { "\\prod^{n}", "<mover>\n<mo>&prod;</mo>\n<mi>n</mi>\n</mover>\n", Fails },
        { "\\prod{}{n}",
            "<mo>&prod;</mo>\n<mrow>\n<mo>{</mo>\n<mo>}</mo>\n</mrow>\n"
            "<mrow>\n<mo>{</mo>\n<mi>n</mi>\n<mo>}</mo>\n</mrow>\n",
            "<mover>\n<mo>&prod;</mo>\n<mi>n</mi>\n</mover>\n" },
        { "\\sum_k", "<munder>\n<mo>&sum;</mo>\n<mi>k</mi>\n</munder>\n", Fails },
        { "\\sum{k}{}",
            "<mo>&sum;</mo>\n<mrow>\n<mo>{</mo>\n<mi>k</mi>\n<mo>}</mo>\n</mrow>\n"
            "<mrow>\n<mo>{</mo>\n<mo>}</mo>\n</mrow>\n",
            "<munder>\n<mo>&sum;</mo>\n<mi>k</mi>\n</munder>\n" },
        // A bare limit is split after its first character.
        { "\\sum_{i=0}^10",
            "<munderover>\n<mo>&sum;</mo>\n<mrow>\n<mi>i</mi>\n<mo>=</mo>\n<mn>0</mn>\n</mrow>\n"
            "<mn>1</mn>\n</munderover>\n<mn>0</mn>\n",
            Fails },
        // Roots: the same commands, but the clean-up reaches inside them.
        { "\\sqrt{x}", "<msqrt>\n<mi>x</mi>\n</msqrt>\n", "<msqrt>\n<mi>x</mi>\n</msqrt>\n" },
        { "\\sqrt[3]{x+1}",
            "<mroot>\n<mrow>\n<mi>x</mi>\n<mo>+</mo>\n<mn>1</mn>\n</mrow>\n<mn>3</mn>\n</mroot>\n",
            "<mroot>\n<mrow>\n<mi>x</mi>\n<mo>+</mo>\n<mn>1</mn>\n</mrow>\n<mn>3</mn>\n</"
            "mroot>\n" },
        { "\\sqrt2{3}{8}", "<mroot>\n<mn>8</mn>\n<mn>3</mn>\n</mroot>\n",
            "<mroot>\n<mn>8</mn>\n<mn>3</mn>\n</mroot>\n" },
        { "\\sqrt{x_1^2}",
            "<msqrt>\n<msubsup>\n<mi>x</mi>\n<mn>1</mn>\n<mn>2</mn>\n</msubsup>\n</msqrt>\n",
            "<msqrt>\n<mrow>\n<msub>\n<mi>x</mi>\n<mn>1</mn></msub>\n<mo>^</mo>\n<mn>2</mn>\n"
            "</mrow>\n</msqrt>\n" },
        { "\\sqrt x", Fails, Fails },
        { "\\sqrt[]{x}", Fails, Fails },
        { "\\sqrt2{3}8", Fails, Fails },
        // Scripts: both at once only through the first dialect's "\ss".
        { "x_1^2", "<msubsup>\n<mi>x</mi>\n<mn>1</mn>\n<mn>2</mn>\n</msubsup>\n",
            "<msub>\n<mi>x</mi>\n<mn>1</mn></msub>\n<mo>^</mo>\n<mn>2</mn>\n" },
        // In the second dialect the subscript's closing brace becomes the base of "^".
        { "x_{ab}^{c}", "<msubsup>\n<mi>x</mi>\n<mi>a</mi>\n<mi>b</mi>\n<mi>c</mi>\n</msubsup>\n",
            Fails },
        { "x^{n+1}",
            "<msup>\n<mi>x</mi>\n<mrow>\n<mi>n</mi>\n<mo>+</mo>\n<mn>1</mn>\n</mrow>\n</msup>\n",
            "<msup>\n<mi>x</mi>\n<mrow>\n<mi>n</mi>\n<mo>+</mo>\n<mn>1</mn>\n</mrow>\n</msup>\n" },
        { "e^x", "<msup>\n<mi>e</mi>\n<mn>x</mn></msup>\n",
            "<msup>\n<mi>e</mi>\n<mn>x</mn></msup>\n" },
        { "\\alpha_i", "<msub>\n<mi>\u03B1</mi>\n<mn>i</mn></msub>\n",
            "<msub>\n<mi>\u03B1</mi>\n<mn>i</mn></msub>\n" },
        { "\\ss{x}{}{2}", "<msup>\n<mi>x</mi>\n<mn>2</mn>\n</msup>\n",
            "<msup>\n<mi>x</mi>\n<mn>2</mn>\n</msup>\n" },
        { "\\ss{x}{}{}", "<mi>x</mi>\n", "<mi>x</mi>\n" },
        { "\\ss{}{1}{2}", Fails, Fails },
        { "x^{}", Fails, Fails },
        { "x^", Fails, Fails },
        // Degrees, symbol characters and escapes: the first dialect's clean-up.
        { "90^\\circ", "<mn>90</mn>\n<mi>\u00B0</mi>\n",
            "<msup>\n<mi>90</mi>\n<mn>\\circ</mn></msup>\n" },
        { "x\u2264y", "<mi>x</mi>\n<mi>\u2264</mi>\n<mi>y</mi>\n",
            "<mi>x</mi>\n<mo>\u2264</mo>\n<mi>y</mi>\n" },
        { "2\u00D73", "<mn>2</mn>\n<mi>\u00D7</mi>\n<mn>3</mn>\n",
            "<mn>2</mn>\n<mo>\u00D7</mo>\n<mn>3</mn>\n" },
        { "a:b", "<mi>a</mi>\n<mi>:</mi>\n<mi>b</mi>\n", "<mi>a</mi>\n<mo>:</mo>\n<mi>b</mi>\n" },
        { "a&lt;b", "<mi>a</mi>\n<mo>&#x003c;</mo>\n<mi>b</mi>\n",
            "<mi>a</mi>\n<mo>&</mo>\n<mi>l</mi>\n<mi>t</mi>\n<mo>;</mo>\n<mi>b</mi>\n" },
        { "\\left(x\\right)", "<mrow>\n<mo>(</mo>\n<mi>x</mi>\n<mo>)</mo>\n</mrow>\n",
            "<mrow>\n<mo>(</mo>\n<mi>x</mi>\n<mo>)</mo>\n</mrow>\n" },
        { "\u00A35", "", "<mn>5</mn>\n" },
        { "\u00A3 5", "<mi>\u00A3</mi>\n<mn>5</mn>\n", "<mn>5</mn>\n" },
    };
    expectCases(cases, std::size(cases));
}

TEST(LatexToMathml, ReadingsAndCommands)
{
    const Case cases[] = {
        // Items read, not elements written, decide the mrow.
        { "\\frac{ab}{c}", "<mfrac>\n<mi>a</mi>\n<mi>b</mi>\n<mi>c</mi>\n</mfrac>\n",
            "<mfrac>\n<mi>a</mi>\n<mi>b</mi>\n<mi>c</mi>\n</mfrac>\n" },
        { "(a)", "<mrow>\n<mo>(</mo>\n<mi>a</mi>\n<mo>)</mo>\n</mrow>\n",
            "<mrow>\n<mo>(</mo>\n<mi>a</mi>\n<mo>)</mo>\n</mrow>\n" },
        { "[\\foo a]", "<mrow>\n<mo>[</mo>\n<mi>a</mi>\n<mo>]</mo>\n</mrow>\n",
            "<mrow>\n<mo>[</mo>\n<mi>a</mi>\n<mo>]</mo>\n</mrow>\n" },
        // Scripts before closers.
        { "\\frac{1}{2}^2", Fails, Fails },
        { "(x}", Fails, Fails },
        // A run of symbol characters is one token that nothing accepts.
        { "\u2264\u2265", "<mi>\u2264</mi>\n<mi>\u2265</mi>\n", "" },
        { "3.14", "<mn>3.14</mn>\n", "<mn>3.14</mn>\n" },
        { "3.", "<mn>3</mn>\n<mo>.</mo>\n", "<mn>3</mn>\n<mo>.</mo>\n" },
        { "a<b>c", "<mi>a</mi>\n<mo>&#x003c;</mo>\n<mi>b</mi>\n<mo>&#x003e;</mo>\n<mi>c</mi>\n",
            "<mi>a</mi>\n<mo>&#x003c;</mo>\n<mi>b</mi>\n<mo>&#x003e;</mo>\n<mi>c</mi>\n" },
        { "5!!", "<mn>5</mn>\n<mo>!!</mo>\n", "<mn>5</mn>\n<mo>!!</mo>\n" },
        { "x\\in A", "<mi>x</mi>\n<mi>\u2208</mi>\n<mi>A</mi>\n",
            "<mi>x</mi>\n<mi>\u2208</mi>\n<mi>A</mi>\n" },
        { "\\Sigma", "<mi>\u2211</mi>\n", "<mi>\u2211</mi>\n" },
        { "\\underline{x}", "<munder>\n<mi>x</mi>\n<mrow>\n<mo>&#x0332;</mo>\n</mrow>\n</munder>\n",
            "<munder>\n<mi>x</mi>\n<mrow>\n<mo>&#x0332;</mo>\n</mrow>\n</munder>\n" },
        { "\\overline{ab}",
            "<mover>\n<mi>a</mi>\n<mi>b</mi>\n<mrow>\n<mo>&macr;</mo>\n</mrow>\n</mover>\n",
            "<mover>\n<mi>a</mi>\n<mi>b</mi>\n<mrow>\n<mo>&macr;</mo>\n</mrow>\n</mover>\n" },
        { "\\underline x", Fails, Fails },
        { "\\overline{}", Fails, Fails },
        { "\\frac{}{2}", Fails, Fails },
        { "\\frac", Fails, Fails },
        { "\\sum", "<mo>&sum;</mo>\n", Fails },
        { "\\sum_", Fails, Fails },
        { "\\sum_}", Fails, Fails }, // a closing brace as a bare limit
        { "   ", "", "" },
    };
    expectCases(cases, std::size(cases));
}

TEST(LatexToMathml, EntryRules)
{
    for (const bool v2 : { false, true }) {
        QString out = Untouched;
        EXPECT_EQ(LatexParser::translate(QString(), out, v2), 0);
        EXPECT_EQ(out, Untouched);

        const std::pair<const char*, const char*> rows[] = {
            { "<math display=\"block\"><mi>x</mi></math>", "<math><mi>x</mi></math>" },
            { "a<math a='1'>b</math> <mathml x>", "a<math>b</math> <math>" },
            { "<math>\\frac{1}{2}</math>", "<math>\\frac{1}{2}</math>" },
            { "x <math", "x <math" },
            // Case-sensitive: this is LaTeX.
            { "<MATH>",
                "<math>\n<mo>&#x003c;</mo>\n<mi>M</mi>\n<mi>A</mi>\n<mi>T</mi>\n<mi>H</mi>\n"
                "<mo>&#x003e;</mo>\n</math>" },
        };
        for (const auto& row : rows)
            EXPECT_EQ(translated(row.first, v2), row.second) << row.first;
    }
    QString out;
    EXPECT_EQ(Taviosystem::TavioSystem::instance().translateTextLatexToMathml(
                  QStringLiteral("x^2"), out, true),
        0);
    EXPECT_EQ(out.toStdString(), expected("<msup>\n<mi>x</mi>\n<mn>2</mn></msup>\n"));
}

TEST(LatexToMathml, FirstDialectCleanUp)
{
    const std::pair<const char*, const char*> rows[] = {
        { "x_{ab}^{c}", "\\ss{x}{ab}{c}" },
        { "x^2_3", "\\ss{x}{3}{2}" },
        { "x^2^3", "x^2^3" },
        { "x_1_2^3", "x_1_2^3" }, // the search goes on after a match it leaves alone
        { "x^a^b_c", "x^a^b_c" },
        { "ab_1^2+\u03B2_{10}^n", "\\ss{ab}{1}{2}+ \\beta _{10}^n" },
        { "\\int_0^1", "\\ss{\\int}{0}{1}" },
        { "\\sqrt2_1^2", "\\ss{\\sqrt2}{1}{2}" },
        { "\u0391_1^2", "\\ss{\u0391}{1}{2}" },
        { "x_{-1}^2", "x_{-1}^2" },
        { "\u00A35", "\\pound5" },
        { "a&b:c\\d", "a \\amp b \\colon c\\d" },
        { "\\&amp;", "\\amp" },
        { "&amp;", " \\amp amp;" },
        { "\\left\\left((", "\\left((" }, // each rewrite is one pass over the text
        { "\\left\\{x\\right\\}", "{x}" },
        { "\u00B0\u2192\u2264", " \\degree  \\longrightarrow  \\leqslant " },
    };
    for (const auto& row : rows)
        EXPECT_EQ(LatexParser::cleanFirstDialect(text(row.first)).toStdString(), row.second)
            << row.first;
}

TEST(LatexToMathml, TokeniserLongestMatch)
{
    const std::pair<const char*, QStringList> rows[] = {
        { "3.14", { "3.14" } },
        { "3.14.15", { "3.14", ".", "15" } },
        { "12.x", { "12", ".", "x" } },
        { "x2y", { "x", "2", "y" } },
        { "\\alpha2b+1", { "\\alpha2b", "+", "1" } },
        { "\\ x\\", { "x" } },
        { "a-b", { "a", "-", "b" } }, // the hyphen of the operator class is literal
        { "\u2264\u2265x", { text("\u2264\u2265"), "x" } },
        { "\u03B1\u03B2 \u03D7", { text("\u03B1\u03B2") } },
        { "\u20AC$%5", { text("\u20AC$%"), "5" } },
        { "x@y\u00D6z", { "x", "y", "z" } },
        { "{[()]}", { "{", "[", "(", ")", "]", "}" } },
    };
    for (const auto& row : rows)
        EXPECT_EQ(LatexParser::tokenize(text(row.first)), row.second) << row.first;
}

TEST(LatexToMathml, BigOperatorNormalisation)
{
    const std::pair<QStringList, QStringList> rows[] = {
        { { "\\sum", "x" }, { "\\sum", "{", "}", "{", "}", "x" } },
        { { "\\sum", "^", "n" }, { "\\sum", "{", "}", "{", "n", "}" } },
        { { "\\int", "_", "ab", "^", "{", "c", "}" },
            { "\\int", "{", "a", "}", "{", "}", "b", "^", "{", "c", "}" } },
        { { "\\prod", "_", "{", "{", "}", "}", "^", "10" },
            { "\\prod", "{", "{", "}", "}", "{", "1", "}", "0" } },
        { { "\\sum", "_", "{", "a" }, { "\\sum", "{", "a" } },
        // An inner operator whose bare lower limit is the outer group's closing brace.
        { { "\\sum", "_", "{", "\\int", "_", "}", "^", "2" },
            { "\\sum", "{", "\\int", "{", "}", "}", "{", "}", "{", "2", "}" } },
    };
    for (const auto& row : rows)
        EXPECT_EQ(LatexParser::normaliseBigOperators(row.first), row.second)
            << row.first.join(' ').toStdString();
}

TEST(LatexToMathml, SymbolTable)
{
    const LatexSymbol* table = Taviosystem::latexSymbols();
    EXPECT_EQ(Taviosystem::LatexSymbolCount, 333);
    const std::tuple<int, const char16_t*, char16_t> rows[] = {
        { 0, u"\\amp", 0x0026 },
        { 1, u"\\pound", 0x00A3 },
        { 2, u"\\degree", 0x00B0 },
        { 3, u"\\Box", 0x25A1 },
        { 30, u"\\Sigma", 0x2211 },
        { 50, u"\\backslash", 0x005C },
        { 116, u"\\degree", 0x00B0 },
        { 332, u"\\zeta", 0x03B6 },
    };
    for (const auto& [index, name, character] : rows) {
        EXPECT_EQ(table[index].nameView(), QStringView(name)) << index;
        EXPECT_EQ(table[index].character, character) << index;
    }
    const std::pair<const char16_t*, char16_t> lookups[] = {
        { u"\\alpha", 0x03B1 },
        { u"\\times", 0x00D7 },
        { u"\\leq", 0x2264 },
        { u"\\le", 0x2264 },
        { u"\\infty", 0x221E },
        { u"\\Longrightarrow", 0x21D2 },
        { u"\\Rightarrow", 0x21D2 },
        { u"\\in", 0x2208 },
    };
    for (const auto& [name, character] : lookups) {
        const LatexSymbol* symbol = Taviosystem::lookupSymbol(QStringView(name));
        ASSERT_TRUE(symbol) << QStringView(name).toString().toStdString();
        EXPECT_EQ(symbol->character, character);
    }
    EXPECT_EQ(Taviosystem::lookupSymbol(u"\\degree"), &table[2]);
    for (const char16_t* name : { u"\\ALPHA", u"\\", u"\\alph", u"\\alphas", u"alpha", u"\\inn" })
        EXPECT_EQ(Taviosystem::lookupSymbol(QStringView(name)), nullptr);

    // Every name and character answers as a scan in table order would.
    for (int i = 0; i < Taviosystem::LatexSymbolCount; ++i) {
        int first = 0;
        while (table[first].nameView() != table[i].nameView())
            ++first;
        EXPECT_EQ(Taviosystem::lookupSymbol(table[i].nameView()), &table[first]);
    }
    for (int c = 0; c < 0x10000; ++c) {
        const LatexSymbol* first = nullptr;
        for (int i = 0; i < Taviosystem::LatexSymbolCount && !first && c != 0x5C; ++i) {
            if (table[i].character == c)
                first = &table[i];
        }
        ASSERT_EQ(Taviosystem::symbolForCharacter(QChar(char16_t(c))), first) << c;
    }
}

TEST(LatexToMathml, NestingGuard)
{
    const auto nested = [](int depth) {
        return QString(depth, u'{') + QStringLiteral("x") + QString(depth, u'}');
    };
    for (const bool v2 : { false, true }) {
        QString out = Untouched;
        // 300 braces: deeper than any 512-character device answer, still translated.
        EXPECT_EQ(LatexParser::translate(nested(300), out, v2), 0);
        EXPECT_TRUE(out.endsWith(QStringLiteral("<mo>}</mo>\n</mrow>\n</math>")));
        out = Untouched;
        EXPECT_EQ(LatexParser::translate(nested(LatexParser::MaximumNestingDepth), out, v2), 1);
        EXPECT_EQ(out, Untouched);
        EXPECT_EQ(LatexParser::translate(QString(100000, u'('), out, v2), 1);
        EXPECT_EQ(out, Untouched);
    }
}

TEST(LatexToMathml, HugeInputsStayLinear)
{
    // Thousands of operators and scripts: each step is one pass, so this takes milliseconds.
    const QString operators = QStringLiteral("\\sum_{\\int_x^{y}}^2").repeated(5000);
    const QString scripts = QStringLiteral("x_1^2\u2264").repeated(5000);
    for (const bool v2 : { false, true }) {
        QString out;
        EXPECT_EQ(LatexParser::translate(operators, out, v2), v2 ? 1 : 0);
        EXPECT_EQ(LatexParser::translate(scripts, out, v2), 0);
        EXPECT_GT(out.size(), scripts.size());
    }
}

// (expression, expressionV2LatexFormat) for every line of the committed corpus.
std::vector<std::pair<QString, bool>> readCorpus()
{
    std::vector<std::pair<QString, bool>> corpus;
    QFile file(QStringLiteral(TAVIO_TEST_DATA_DIR "/maths/latex_corpus.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return corpus;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).chopped(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        EXPECT_TRUE(line.size() > 2 && (line[0] == u'0' || line[0] == u'1') && line[1] == u'\t')
            << line.toStdString();
        corpus.emplace_back(line.mid(2), line[0] == u'1');
    }
    return corpus;
}

TEST(LatexToMathml, CorpusTranslates)
{
    const auto corpus = readCorpus();
    EXPECT_GE(corpus.size(), 200u);
    for (const auto& [latex, v2] : corpus) {
        QString out;
        EXPECT_EQ(LatexParser::translate(latex, out, v2), 0) << latex.toStdString();
        EXPECT_TRUE(out.startsWith(QStringLiteral("<math>\n"))) << latex.toStdString();
    }
}

TEST(LatexToMathml, TranslatesOnManyThreads)
{
    const auto corpus = readCorpus();
    std::vector<QString> expectedOutputs;
    for (const auto& [latex, v2] : corpus) {
        QString out;
        LatexParser::translate(latex, out, v2);
        expectedOutputs.push_back(out);
    }
    std::atomic<int> mismatches { 0 };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int run = 0; run < 20; ++run) {
                for (std::size_t i = 0; i < corpus.size(); ++i) {
                    QString out;
                    LatexParser::translate(corpus[i].first, out, corpus[i].second);
                    mismatches += out != expectedOutputs[i];
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace
