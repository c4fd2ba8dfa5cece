// The translator's one-pass steps against literal, slow versions of the same rules on generated
// inputs: the tokeniser and the "\ss" rewrite against Qt 5's regular expressions (longest match
// at the leftmost position), the clean-up against one replacement pass per rewrite and per table
// entry, and the big-operator normalisation against inserting into the token list in place.

#include "mathtext/latexsymbols.h"
#include "mathtext/latextomathml.h"

#include <gtest/gtest.h>

#include <random>

#if TAVIO_HAVE_QREGEXP
#include <QtCore5Compat/QRegExp>
#endif

using Taviosystem::LatexParser;

namespace {

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

// Concatenates 0 to maxPieces pieces picked at random.
template <std::size_t N>
QString generated(std::mt19937& random, const char* const (&pieces)[N], int maxPieces)
{
    QString result;
    const int count = std::uniform_int_distribution<int>(0, maxPieces)(random);
    for (int i = 0; i < count; ++i)
        result += text(pieces[std::uniform_int_distribution<std::size_t>(0, N - 1)(random)]);
    return result;
}

// Inserting into the list in place, rule by rule.
QStringList referenceNormalise(QStringList t)
{
    const auto isOperator = [](const QString& token) {
        return token == "\\sum" || token == "\\int" || token == "\\prod";
    };
    // Removes the marker at k and reads the limit there; returns the index after its group, or
    // -1 when there is no token or the group is never closed.
    const auto readLimit = [&t](int k) {
        t.removeAt(k);
        if (k == t.size())
            return -1;
        if (t[k] != "{") {
            const QString token = t[k];
            t[k] = "{";
            t.insert(k + 1, token.left(1));
            t.insert(k + 2, "}");
            if (token.size() > 1)
                t.insert(k + 3, token.mid(1));
            return k + 3;
        }
        for (int m = k, depth = 0; m < t.size(); ++m) {
            depth += t[m] == "{" ? 1 : t[m] == "}" ? -1 : 0;
            if (depth == 0)
                return m + 1;
        }
        return -1;
    };
    for (int i = 0; i < t.size(); ++i) {
        if (!isOperator(t[i]))
            continue;
        const int j = i + 1;
        if (j == t.size() || (t[j] != "_" && t[j] != "^")) {
            for (const char* brace : { "}", "{", "}", "{" })
                t.insert(j, brace);
            continue;
        }
        if (t[j] == "^") {
            t.insert(j, "}");
            t.insert(j, "{");
            readLimit(j + 2);
            continue;
        }
        const int after = readLimit(j);
        if (after < 0)
            continue;
        if (after < t.size() && t[after] == "^") {
            readLimit(after);
        } else {
            t.insert(after, "}");
            t.insert(after, "{");
        }
    }
    return t;
}

TEST(LatexReference, BigOperatorNormalisation)
{
    const char* const alphabet[]
        = { "\\sum", "\\int", "\\prod", "_", "^", "{", "}", "x", "ab", "2", "\\alpha" };
    std::mt19937 random(4);
    for (int run = 0; run < 20000; ++run) {
        QStringList tokens;
        const int count = std::uniform_int_distribution<int>(0, 12)(random);
        for (int i = 0; i < count; ++i)
            tokens << alphabet[std::uniform_int_distribution<int>(0, 10)(random)];
        ASSERT_EQ(LatexParser::normaliseBigOperators(tokens), referenceNormalise(tokens))
            << tokens.join(' ').toStdString();
    }
}

#if TAVIO_HAVE_QREGEXP

QStringList referenceTokens(const QString& latex)
{
    const QRegExp pattern(text(R"((\\[a-zA-Z0-9]+)|([0-9]+)|([0-9]+\.[0-9]+)|([a-zA-Z]+))"
                               R"(|([\x0391-\x03d6]+)|([\x2153-\x22ff]+)|([!#$%&\x20ac]+))"
                               R"(|([\x00b1\x00f7\x00d7\-+*/^_<=>{}[\]()`|~,.:;?]))"));
    QStringList tokens;
    for (int at = 0; (at = pattern.indexIn(latex, at)) >= 0; at += pattern.matchedLength())
        tokens << pattern.cap(0);
    return tokens;
}

QString referenceCleanUp(QString latex)
{
    const char* const fixed[][2] = { { "&gt;", ">" }, { "&lt;", "<" }, { "\\&amp;", "\\amp" },
        { "\\%", "%" }, { "\\left(", "(" }, { "\\right)", ")" }, { "\\left[", "[" },
        { "\\right]", "]" }, { "^\\circ", "\\degree" }, { "\u00A3", "\\pound" },
        { "\\left\\{", "{" }, { "\\right\\}", "}" } };
    for (const auto& replacement : fixed)
        latex.replace(text(replacement[0]), text(replacement[1]));
    const Taviosystem::LatexSymbol* table = Taviosystem::latexSymbols();
    for (int i = 0; i < Taviosystem::LatexSymbolCount; ++i) {
        if (table[i].character != u'\\')
            latex.replace(QChar(table[i].character), " " + table[i].nameView().toString() + " ");
    }

    const QString script = R"((([_^][a-zA-Z0-9])|([_^]\{[a-zA-Z0-9]+\})))";
    const QRegExp pattern(
        text(R"(((\\[a-zA-Z0-9]+)|([a-zA-Z]+)|([\x0391-\x03d6]+)))") + script + script);
    const auto content
        = [](const QString& s) { return s.size() == 2 ? s.mid(1) : s.mid(2, s.size() - 3); };
    int at = 0;
    while ((at = pattern.indexIn(latex, at)) >= 0) {
        const QString first = pattern.cap(5);
        const QString second = pattern.cap(8);
        if (first[0] == second[0]) {
            at += pattern.matchedLength();
            continue;
        }
        const bool subscriptFirst = first[0] == u'_';
        const QString replacement = "\\ss{" + pattern.cap(1) + "}{"
            + content(subscriptFirst ? first : second) + "}{"
            + content(subscriptFirst ? second : first) + "}";
        latex.replace(at, pattern.matchedLength(), replacement);
        at += replacement.size();
    }
    return latex;
}

TEST(LatexReference, TokeniserAgainstQRegExp)
{
    const char* const pieces[] = { "\\", "a", "Zq", "0", "97", ".", "\u03B1", "\u0391", "\u03D6",
        "\u03D7", "\u2153", "\u22FF", "\u2300", "!", "#", "&", "\u20AC", "-", "+", "^", "_", "{",
        "}", "[", "]", "(", ")", " ", "@", "\u00D7", "\u00B1", "\u00F7", "\u00D6", "<", ">", "|",
        "~", ",", ":", ";", "?", "`", "*", "/", "=", "$", "%", "\\frac", "3.5" };
    std::mt19937 random(7);
    for (int run = 0; run < 10000; ++run) {
        const QString latex = generated(random, pieces, 14);
        ASSERT_EQ(LatexParser::tokenize(latex), referenceTokens(latex)) << latex.toStdString();
    }
}

TEST(LatexReference, CleanUpAgainstReplacementPasses)
{
    const char* const pieces[] = { "&gt;", "&lt;", "&amp;", "\\&amp;", "\\%", "\\left(", "\\right)",
        "\\left[", "\\right]", "^\\circ", "\u00A3", "\\left\\{", "\\right\\}", "\\", "left", "%",
        "x", "ab", "Q", "_", "^", "{", "}", "1", "23", "\u03B1", "\u0391", "\u03A3", "\u2264", "&",
        ":", "\u00B0", "\\int", "\\beta", " ", "+", "\u00D7", "(" };
    std::mt19937 random(11);
    for (int run = 0; run < 1500; ++run) {
        const QString latex = generated(random, pieces, 12);
        ASSERT_EQ(LatexParser::cleanFirstDialect(latex), referenceCleanUp(latex))
            << latex.toStdString();
    }
}

#endif

} // namespace
