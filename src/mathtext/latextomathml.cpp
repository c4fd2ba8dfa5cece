#include "latextomathml.h"

#include "latexsymbols.h"

#include <algorithm>

namespace Taviosystem {

namespace {

// Work bounds: every step is linear in the length of the text, apart from the mrow and script
// heads the parser inserts in front of a sequence it has written, which move that sequence once
// per enclosing level; MaximumNestingDepth bounds both those moves and the recursion.

struct Replacement
{
    QStringView from;
    QStringView to;
};

// Token comparisons, inline: the parser makes many of them per token.
template <std::size_t N>
inline bool equals(QStringView text, const char16_t (&literal)[N])
{
    return text.size() == qsizetype(N - 1)
        && std::char_traits<char16_t>::compare(text.utf16(), literal, N - 1) == 0;
}

inline bool equals(QStringView text, QStringView other)
{
    return text.size() == other.size()
        && std::char_traits<char16_t>::compare(
               text.utf16(), other.utf16(), std::size_t(text.size()))
        == 0;
}

inline bool isCharacter(QStringView token, char16_t c)
{
    return token.size() == 1 && token[0].unicode() == c;
}

inline bool startsWithAt(QStringView text, qsizetype at, QStringView prefix)
{
    return text.size() - at >= prefix.size()
        && std::char_traits<char16_t>::compare(
               text.utf16() + at, prefix.utf16(), std::size_t(prefix.size()))
        == 0;
}

// The first dialect's fixed rewrites, applied one after the other over the whole text.
const Replacement FixedReplacements[] = {
    { u"&gt;", u">" },
    { u"&lt;", u"<" },
    { u"\\&amp;", u"\\amp" },
    { u"\\%", u"%" },
    { u"\\left(", u"(" },
    { u"\\right)", u")" },
    { u"\\left[", u"[" },
    { u"\\right]", u"]" },
    { u"^\\circ", u"\\degree" },
    { u"\u00A3", u"\\pound" },
    { u"\\left\\{", u"{" },
    { u"\\right\\}", u"}" },
};

const QStringView MathOpeningTag = u"<math";
const QStringView OpeningBrace = u"{";
const QStringView ClosingBrace = u"}";

inline bool isOpeningBrace(QStringView token) { return isCharacter(token, u'{'); }

inline bool isDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

inline bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode() | 0x20;
    return u >= 'a' && u <= 'z';
}

inline bool isAsciiLetterOrDigit(QChar c) { return isAsciiLetter(c) || isDigit(c); }

inline bool isGreek(QChar c) { return c.unicode() >= 0x0391 && c.unicode() <= 0x03D6; }

// Fractions, arrows and mathematical operators: one token class, and a one-character operator.
inline bool isMathSymbol(QChar c) { return c.unicode() >= 0x2153 && c.unicode() <= 0x22FF; }

inline bool isSignCharacter(QChar c)
{
    switch (c.unicode()) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case 0x20AC:
        return true;
    default:
        return false;
    }
}

// Characters that are tokens on their own.
inline bool isSingleCharacterToken(QChar c)
{
    switch (c.unicode()) {
    case 0x00B1:
    case 0x00F7:
    case 0x00D7:
    case '-':
    case '+':
    case '*':
    case '/':
    case '^':
    case '_':
    case '<':
    case '=':
    case '>':
    case '{':
    case '}':
    case '[':
    case ']':
    case '(':
    case ')':
    case '`':
    case '|':
    case '~':
    case ',':
    case '.':
    case ':':
    case ';':
    case '?':
        return true;
    default:
        return false;
    }
}

// Characters of which a run is an operator token (no brackets).
inline bool isOperatorCharacter(QChar c)
{
    switch (c.unicode()) {
    case '{':
    case '}':
    case '[':
    case ']':
    case '(':
    case ')':
        return false;
    default:
        return isSingleCharacterToken(c) || isSignCharacter(c);
    }
}

bool isNumber(QStringView token)
{
    qsizetype i = 0;
    while (i < token.size() && isDigit(token[i]))
        ++i;
    if (i == 0)
        return false;
    if (i == token.size())
        return true;
    if (token[i] != u'.' || i + 1 == token.size())
        return false;
    for (++i; i < token.size(); ++i) {
        if (!isDigit(token[i]))
            return false;
    }
    return true;
}

bool isOperator(QStringView token)
{
    if (token.size() == 1 && isMathSymbol(token[0]))
        return true;
    return !token.isEmpty()
        && std::all_of(token.begin(), token.end(), [](QChar c) { return isOperatorCharacter(c); });
}

bool isFunctionName(QStringView name)
{
    switch (name.size()) {
    case 2:
        return equals(name, u"ln") || equals(name, u"lg");
    case 3:
        return equals(name, u"cos") || equals(name, u"sin") || equals(name, u"tan")
            || equals(name, u"sec") || equals(name, u"cot") || equals(name, u"csc");
    case 5:
        return equals(name, u"cosec");
    default:
        return false;
    }
}

inline bool isBigOperator(QStringView token)
{
    return equals(token, u"\\sum") || equals(token, u"\\int") || equals(token, u"\\prod");
}

inline bool isScriptMarker(QStringView token)
{
    return token.size() == 1 && (token[0] == u'^' || token[0] == u'_');
}

enum CommandKind {
    Command_None,
    Command_Function, // first dialect only
    Command_Fraction,
    Command_Root,
    Command_IndexedRoot,
    Command_BigOperator,
    Command_Scripted,
    Command_Underline,
    Command_Overline
};

CommandKind commandKind(QStringView token, bool expressionV2LatexFormat)
{
    static const struct
    {
        QStringView name;
        CommandKind kind;
    } Commands[] = {
        { u"\\frac", Command_Fraction },
        { u"\\sqrt", Command_Root },
        { u"\\sqrt2", Command_IndexedRoot },
        { u"\\sum", Command_BigOperator },
        { u"\\int", Command_BigOperator },
        { u"\\prod", Command_BigOperator },
        { u"\\ss", Command_Scripted },
        { u"\\underline", Command_Underline },
        { u"\\overline", Command_Overline },
    };
    if (!expressionV2LatexFormat && isFunctionName(token.mid(1)))
        return Command_Function;
    for (const auto& command : Commands) {
        if (equals(token, command.name))
            return command.kind;
    }
    return Command_None;
}

// A script of the clean-up's "\ss" rewrite at i: "_" or "^" and then one letter or digit, or a
// braced run of letters and digits. Returns its length (0 when there is none) and its content.
qsizetype scriptAt(QStringView text, qsizetype i, QStringView* content)
{
    const qsizetype size = text.size();
    if (i + 1 >= size || (text[i] != u'_' && text[i] != u'^'))
        return 0;
    if (isAsciiLetterOrDigit(text[i + 1])) {
        *content = text.mid(i + 1, 1);
        return 2;
    }
    if (text[i + 1] != u'{')
        return 0;
    qsizetype end = i + 2;
    while (end < size && isAsciiLetterOrDigit(text[end]))
        ++end;
    if (end == i + 2 || end == size || text[end] != u'}')
        return 0;
    *content = text.mid(i + 2, end - i - 2);
    return end + 1 - i;
}

template <typename Predicate>
qsizetype runEnd(QStringView text, qsizetype i, Predicate predicate)
{
    while (i < text.size() && predicate(text[i]))
        ++i;
    return i;
}

} // namespace

LatexParser::LatexParser(const QStringView* tokens, qsizetype count, bool expressionV2LatexFormat)
    : m_tokens(tokens)
    , m_count(count)
    , m_expressionV2LatexFormat(expressionV2LatexFormat)
{
}

int LatexParser::translate(const QString& latex, QString& mathml, bool expressionV2LatexFormat)
{
    qsizetype tag = latex.indexOf(MathOpeningTag);
    if (tag >= 0) {
        // Already MathML: every "<math...>" becomes "<math>", up to the first ">" after it.
        QString result;
        result.reserve(latex.size());
        qsizetype copied = 0;
        while (tag >= 0) {
            const qsizetype close = latex.indexOf(u'>', tag + MathOpeningTag.size());
            if (close < 0)
                break;
            result.append(QStringView(latex).mid(copied, tag - copied));
            result.append(u"<math>");
            copied = close + 1;
            tag = latex.indexOf(MathOpeningTag, copied);
        }
        result.append(QStringView(latex).mid(copied));
        mathml = result;
        return Result_Success;
    }
    if (latex.isEmpty())
        return Result_Success;

    QString cleaned;
    QStringView text = latex;
    if (!expressionV2LatexFormat)
        cleanFirstDialect(latex, cleaned, text);

    Tokens tokens;
    const bool hasBigOperator = tokenize(text, tokens);
    Tokens normalised;
    const Tokens* parsed = &tokens;
    if (!expressionV2LatexFormat && hasBigOperator) {
        normaliseBigOperators(tokens, normalised);
        parsed = &normalised;
    }

    LatexParser parser(parsed->constData(), parsed->size(), expressionV2LatexFormat);
    parser.m_out.reserve(16 * text.size() + 64);
    parser.m_out.append(u"<math>\n");
    parser.parseSequence(QStringView());
    if (parser.m_error)
        return Result_Failure;
    parser.m_out.append(u"</math>");
    mathml = parser.m_out.take();
    return Result_Success;
}

// ---- First-dialect clean-up ----

QString LatexParser::cleanFirstDialect(const QString& latex)
{
    QString cleaned;
    QStringView result = latex;
    cleanFirstDialect(latex, cleaned, result);
    return result.toString();
}

void LatexParser::cleanFirstDialect(QStringView latex, QString& cleaned, QStringView& result)
{
    // Each step reads the previous step's text; a step that changes nothing copies nothing.
    result = latex;
    QString step;
    if (cleanFixedPatterns(result, step)) {
        cleaned = std::move(step);
        result = cleaned;
    }
    if (cleanSymbolCharacters(result, step)) {
        cleaned = std::move(step);
        result = cleaned;
    }
    if (cleanScripts(result, step)) {
        cleaned = std::move(step);
        result = cleaned;
    }
}

bool LatexParser::cleanFixedPatterns(QStringView text, QString& out)
{
    // One scan decides whether any rewrite applies; only then are they made, in order, one pass
    // each over the whole text.
    const auto startsAt = [text](qsizetype i) {
        for (const Replacement& replacement : FixedReplacements) {
            if (replacement.from[0] == text[i] && startsWithAt(text, i, replacement.from))
                return true;
        }
        return false;
    };
    bool found = false;
    for (qsizetype i = 0; i < text.size() && !found; ++i) {
        switch (text[i].unicode()) {
        case '&':
        case '\\':
        case '^':
        case 0x00A3:
            found = startsAt(i);
            break;
        default:
            break;
        }
    }
    if (!found)
        return false;
    out = text.toString();
    for (const Replacement& replacement : FixedReplacements)
        out.replace(replacement.from.data(), replacement.from.size(), replacement.to.data(),
            replacement.to.size());
    return true;
}

bool LatexParser::cleanSymbolCharacters(QStringView text, QString& out)
{
    // Going through the table in order and replacing each character everywhere is the same as
    // replacing each character once by the name of its first entry: the names inserted hold only
    // the backslash, which is never replaced, and ASCII letters, which are not in the table.
    qsizetype first = 0;
    while (first < text.size() && !symbolForCharacter(text[first]))
        ++first;
    if (first == text.size())
        return false;
    out.clear();
    out.reserve(text.size() + 16);
    out.append(text.left(first));
    for (qsizetype i = first; i < text.size(); ++i) {
        if (const LatexSymbol* symbol = symbolForCharacter(text[i])) {
            out.append(u' ');
            out.append(symbol->nameView());
            out.append(u' ');
        } else {
            out.append(text[i]);
        }
    }
    return true;
}

bool LatexParser::cleanScripts(QStringView text, QString& out)
{
    // Searches left to right, as a pattern search would, for a base (a command, a run of Latin
    // letters or a run of Greek letters) followed by two scripts. With one subscript and one
    // superscript the three are rewritten "\ss{base}{sub}{sup}"; with two of the same kind they
    // are left alone. The search goes on after the match either way.
    const qsizetype size = text.size();
    bool changed = false;
    qsizetype copied = 0;
    qsizetype i = 0;
    while (i < size) {
        const QChar c = text[i];
        qsizetype baseEnd;
        qsizetype next; // where the search goes on when there is no match at i
        if (c == u'\\') {
            baseEnd = runEnd(text, i + 1, isAsciiLetterOrDigit);
            if (baseEnd == i + 1) {
                ++i;
                continue;
            }
            next = i + 1; // the letters of the command are bases of their own
        } else if (isAsciiLetter(c)) {
            // A base starting later in the same run ends where this one ends: no match there.
            baseEnd = next = runEnd(text, i, isAsciiLetter);
        } else if (isGreek(c)) {
            baseEnd = next = runEnd(text, i, isGreek);
        } else {
            ++i;
            continue;
        }
        QStringView first;
        QStringView second;
        const qsizetype firstLength = scriptAt(text, baseEnd, &first);
        const qsizetype secondLength
            = firstLength ? scriptAt(text, baseEnd + firstLength, &second) : 0;
        if (!secondLength) {
            i = next;
            continue;
        }
        const qsizetype end = baseEnd + firstLength + secondLength;
        const QChar firstMarker = text[baseEnd];
        if (firstMarker != text[baseEnd + firstLength]) {
            if (!changed) {
                out.clear();
                out.reserve(size + 16);
                changed = true;
            }
            out.append(text.mid(copied, i - copied));
            out.append(u"\\ss{");
            out.append(text.mid(i, baseEnd - i));
            out.append(u"}{");
            out.append(firstMarker == u'_' ? first : second);
            out.append(u"}{");
            out.append(firstMarker == u'_' ? second : first);
            out.append(u'}');
            copied = end;
        }
        i = end;
    }
    if (changed)
        out.append(text.mid(copied));
    return changed;
}

// ---- Tokens ----

bool LatexParser::tokenize(QStringView text, Tokens& tokens)
{
    // Each token is the longest match of any token class at the first position where one
    // matches; so "3.14" is one number and "3." is a number and an operator. Characters of no
    // class are skipped.
    bool hasBigOperator = false;
    const qsizetype size = text.size();
    qsizetype i = 0;
    while (i < size) {
        const QChar c = text[i];
        qsizetype end = i + 1;
        if (c == u'\\') {
            end = runEnd(text, i + 1, isAsciiLetterOrDigit);
            if (end == i + 1) {
                ++i;
                continue;
            }
            hasBigOperator = hasBigOperator || isBigOperator(text.mid(i, end - i));
        } else if (isDigit(c)) {
            end = runEnd(text, i, isDigit);
            if (end + 1 < size && text[end] == u'.' && isDigit(text[end + 1]))
                end = runEnd(text, end + 1, isDigit);
        } else if (isAsciiLetter(c)) {
            end = runEnd(text, i, isAsciiLetter);
        } else if (isGreek(c)) {
            end = runEnd(text, i, isGreek);
        } else if (isMathSymbol(c)) {
            end = runEnd(text, i, isMathSymbol);
        } else if (isSignCharacter(c)) {
            end = runEnd(text, i, isSignCharacter);
        } else if (!isSingleCharacterToken(c)) {
            ++i;
            continue;
        }
        tokens.append(text.mid(i, end - i));
        i = end;
    }
    return hasBigOperator;
}

QStringList LatexParser::tokenize(QStringView text)
{
    Tokens tokens;
    tokenize(text, tokens);
    QStringList list;
    for (const QStringView token : tokens)
        list.append(token.toString());
    return list;
}

void LatexParser::normaliseBigOperators(const Tokens& in, Tokens& out)
{
    // Left to right, every "\sum", "\int" and "\prod" ends up followed by its lower and upper
    // limit groups, markers removed:
    //   no marker after the operator: two empty groups;
    //   "^" first: an empty lower group, then the upper limit;
    //   "_": the lower limit, then the upper limit after a "^", else an empty upper group.
    // A bare limit token becomes a group of its first character, the rest following the group.
    //
    // Done in one pass. The end of a braced lower limit is its matching brace in the incoming
    // tokens (the groups inserted on the way are balanced), and the work to be done after it
    // waits in afterLowerLimit until the pass gets there. Operators inside the limit are handled
    // in between, as they come later in the list; one of them whose bare lower limit is that
    // closing brace finds there what would have been written already (a group, never "^"), so it
    // adds its empty upper group in front.
    const qsizetype size = in.size();
    QVarLengthArray<qsizetype, 128> match(size);
    QVarLengthArray<qsizetype, 32> open;
    for (qsizetype i = 0; i < size; ++i) {
        match[i] = -1;
        if (isOpeningBrace(in[i])) {
            open.append(i);
        } else if (isCharacter(in[i], u'}') && !open.isEmpty()) {
            match[open.back()] = i;
            open.removeLast();
        }
    }
    QVarLengthArray<bool, 128> afterLowerLimit(size + 1);
    std::fill(afterLowerLimit.begin(), afterLowerLimit.end(), false);

    const auto emptyGroup = [&out] {
        out.append(OpeningBrace);
        out.append(ClosingBrace);
    };
    // A bare limit token: its first character as a group.
    const auto group = [&out](QStringView token) {
        out.append(OpeningBrace);
        out.append(token.left(1));
        out.append(ClosingBrace);
    };
    // The upper limit once its "^" at i has been removed; the rest of a bare token follows.
    const auto upperLimit = [&](qsizetype i) {
        if (i < size && !isOpeningBrace(in[i])) {
            group(in[i]);
            if (in[i].size() > 1)
                out.append(in[i].mid(1));
            ++i;
        }
        return i;
    };

    qsizetype i = 0;
    while (i < size) {
        if (afterLowerLimit[i]) {
            if (isCharacter(in[i], u'^')) {
                i = upperLimit(i + 1);
                continue;
            }
            emptyGroup();
        }
        const QStringView token = in[i++];
        out.append(token);
        if (!isBigOperator(token))
            continue;
        if (i == size || !isScriptMarker(in[i])) {
            emptyGroup();
            emptyGroup();
            continue;
        }
        if (isCharacter(in[i], u'^')) {
            emptyGroup();
            i = upperLimit(i + 1);
            continue;
        }
        ++i; // the "_"
        if (i == size)
            continue;
        if (isOpeningBrace(in[i])) {
            if (match[i] >= 0)
                afterLowerLimit[match[i] + 1] = true;
            continue;
        }
        // A bare lower limit. The token after its group is the rest of the token when there
        // is one, and that is never "^".
        const QStringView lower = in[i++];
        group(lower);
        if (lower.size() > 1) {
            emptyGroup();
            out.append(lower.mid(1));
        } else if (i < size && !afterLowerLimit[i] && isCharacter(in[i], u'^')) {
            i = upperLimit(i + 1);
        } else {
            emptyGroup();
        }
    }
    if (afterLowerLimit[size])
        emptyGroup();
}

QStringList LatexParser::normaliseBigOperators(const QStringList& tokens)
{
    Tokens in;
    for (const QString& token : tokens)
        in.append(token);
    Tokens out;
    normaliseBigOperators(in, out);
    QStringList list;
    for (const QStringView token : out)
        list.append(token.toString());
    return list;
}

// ---- Output ----

void LatexParser::Output::reserve(qsizetype capacity)
{
    if (capacity > m_capacity)
        grow(capacity - m_size);
}

void LatexParser::Output::grow(qsizetype length)
{
    m_capacity = std::max(2 * m_capacity, m_size + length + 64);
    m_text.resize(m_capacity);
    m_data = reinterpret_cast<char16_t*>(m_text.data());
}

void LatexParser::Output::insert(qsizetype at, QStringView text)
{
    const qsizetype end = m_size;
    append(text);
    rotate(at, end);
}

void LatexParser::Output::rotate(qsizetype first, qsizetype middle)
{
    std::rotate(m_data + first, m_data + middle, m_data + m_size);
}

QString LatexParser::Output::take()
{
    m_text.resize(m_size);
    m_data = nullptr;
    m_size = m_capacity = 0;
    return std::move(m_text);
}

// ---- Parser ----

QStringView LatexParser::nextToken()
{
    if (!check(m_next < m_count, "Error: No more tokens"))
        return QStringView();
    return m_tokens[m_next++];
}

QStringView LatexParser::peekToken() const
{
    return m_next < m_count ? m_tokens[m_next] : QStringView();
}

bool LatexParser::check(bool condition, const char* message)
{
    if (!condition && !m_error) {
        m_error = true;
        m_failure = message;
    }
    return condition;
}

void LatexParser::appendElement(const char16_t* name, QStringView content)
{
    // name is "mi" or "mn"
    m_out.append(u'<');
    m_out.append(name, 2);
    m_out.append(u'>');
    m_out.append(content);
    m_out.append(u"</");
    m_out.append(name, 2);
    m_out.append(u">\n");
}

void LatexParser::parseSequence(QStringView closer)
{
    // Any failure fails the whole translation and its messages are reported nowhere, so parsing
    // stops at the first one: the result is the same as going on to the end.
    if (!check(m_depth < MaximumNestingDepth, "Nesting too deep"))
        return;
    ++m_depth;
    const qsizetype start = m_out.size();
    int items = 0; // tokens and constructs read, not elements written
    bool closed = false;
    while (!m_error) {
        if (m_next == m_count) {
            check(closer.isEmpty(), "Reached end of input and matching %1 was not found");
            break;
        }
        QStringView token = m_tokens[m_next++];
        bool symbol = false;
        if (token.size() >= 2 && token[0] == u'\\') {
            if (parseCommand(token)) {
                ++items;
                continue;
            }
            if (const LatexSymbol* entry = lookupSymbol(token)) {
                token = entry->characterView();
                symbol = true;
            }
        }
        // Scripts come before brackets: a closing bracket followed by "^" is a base.
        if (isScriptMarker(peekToken())) {
            parseScript(token);
            ++items;
            continue;
        }
        if (isFunctionName(token)) {
            appendElement(u"mi", token);
            ++items;
            continue;
        }
        if (token.size() == 1) {
            const QChar c = token[0];
            if (c == u'[' || c == u'{' || c == u'(') {
                parseBrackets(c);
                ++items;
                continue;
            }
            if (c == u']' || c == u'}' || c == u')') {
                closed = check(equals(token, closer), "Encountered unmatched '%1'");
                break;
            }
        }
        if (token.isEmpty())
            continue;
        if (symbol || token[0].isLetter()) {
            for (const QChar c : token)
                appendElement(u"mi", QStringView(&c, 1));
        } else if (isNumber(token)) {
            appendElement(u"mn", token);
        } else if (isOperator(token)) {
            m_out.append(u"<mo>");
            for (const QChar c : token) {
                if (c == u'<')
                    m_out.append(u"&#x003c;");
                else if (c == u'>')
                    m_out.append(u"&#x003e;");
                else
                    m_out.append(c);
            }
            m_out.append(u"</mo>\n");
        } else {
            continue; // dropped, not counted
        }
        ++items;
    }
    --m_depth;
    if (closed && items >= 2 && !m_error) {
        m_out.insert(start, u"<mrow>\n");
        m_out.append(u"</mrow>\n");
    }
}

bool LatexParser::parseCommand(QStringView token)
{
    switch (commandKind(token, m_expressionV2LatexFormat)) {
    case Command_None:
        return false;
    case Command_Function:
        appendElement(u"mi", token.mid(1));
        break;
    case Command_Fraction:
        parseFraction();
        break;
    case Command_Root:
        parseRoot();
        break;
    case Command_IndexedRoot:
        parseIndexedRoot();
        break;
    case Command_BigOperator:
        parseBigOperator(token);
        break;
    case Command_Scripted:
        parseScripted();
        break;
    case Command_Underline:
        parseAccent(u"<munder>\n", u"<mrow>\n<mo>&#x0332;</mo>\n</mrow>\n</munder>\n",
            "Invalid \\underline command, expected braces.",
            "Couldn't parse \\underline base numerator");
        break;
    case Command_Overline:
        parseAccent(u"<mover>\n", u"<mrow>\n<mo>&macr;</mo>\n</mrow>\n</mover>\n",
            "Invalid \\overline command, expected braces.",
            "Couldn't parse \\overline base numerator");
        break;
    }
    return true;
}

void LatexParser::parseScript(QStringView base)
{
    const bool superscript = isCharacter(nextToken(), u'^');
    if (superscript)
        m_out.append(u"<msup>\n");
    else
        m_out.append(u"<msub>\n");
    appendElement(u"mi", base);
    const qsizetype start = m_out.size();
    if (isOpeningBrace(peekToken())) {
        nextToken();
        parseSequence(ClosingBrace);
    } else {
        // A bare script is always a number element, and ends without a line break.
        const QStringView script = nextToken();
        if (!script.isEmpty()) {
            m_out.append(u"<mn>");
            m_out.append(script);
            m_out.append(u"</mn>");
        }
    }
    check(m_out.size() > start,
        superscript ? "Couldn't parse '^' numerator" : "Couldn't parse '_' numerator");
    if (superscript)
        m_out.append(u"</msup>\n");
    else
        m_out.append(u"</msub>\n");
}

void LatexParser::parseBrackets(QChar opener)
{
    const QChar closer = opener == u'(' ? u')' : opener == u'[' ? u']' : u'}';
    m_out.append(u"<mrow>\n<mo>");
    m_out.append(opener);
    m_out.append(u"</mo>\n");
    parseSequence(QStringView(&closer, 1));
    m_out.append(u"<mo>");
    m_out.append(closer);
    m_out.append(u"</mo>\n</mrow>\n");
}

// "{", a sequence, "}". Returns whether the group wrote anything.
bool LatexParser::parseGroup(const char* notOpenedMessage)
{
    if (!check(isOpeningBrace(nextToken()), notOpenedMessage))
        return false;
    const qsizetype start = m_out.size();
    parseSequence(ClosingBrace);
    return m_out.size() > start;
}

void LatexParser::parseFraction()
{
    m_out.append(u"<mfrac>\n");
    if (!check(parseGroup("Invalid \\frac command, expected braces for numerator"),
            "Couldn't parse \\frac numerator"))
        return;
    if (!check(parseGroup("Invalid \\frac command, expected braces for denominator"),
            "Couldn't parse \\frac denominator"))
        return;
    m_out.append(u"</mfrac>\n");
}

void LatexParser::parseRoot()
{
    const QStringView opener = nextToken();
    if (!check(isOpeningBrace(opener) || isCharacter(opener, u'['),
            "Invalid \\sqrt command, expected braces for numerator or bracket for root index"))
        return;
    if (isOpeningBrace(opener)) {
        m_out.append(u"<msqrt>\n");
        const qsizetype start = m_out.size();
        parseSequence(ClosingBrace);
        if (check(m_out.size() > start, "Couldn't parse \\sqrt numerator"))
            m_out.append(u"</msqrt>\n");
        return;
    }
    m_out.append(u"<mroot>\n");
    const qsizetype indexStart = m_out.size();
    parseSequence(u"]");
    if (!check(m_out.size() > indexStart, "Couldn't parse \\sqrt root index"))
        return;
    const qsizetype radicandStart = m_out.size();
    if (!check(parseGroup("Invalid \\sqrt command, expected braces for numerator"),
            "Couldn't parse \\sqrt numerator"))
        return;
    // The radicand is written before the index.
    m_out.rotate(indexStart, radicandStart);
    m_out.append(u"</mroot>\n");
}

void LatexParser::parseIndexedRoot()
{
    m_out.append(u"<mroot>\n");
    const qsizetype indexStart = m_out.size();
    if (!check(parseGroup("Invalid \\sqrt2 command, expected braces for numerator"),
            "Couldn't parse \\sqrt2 root index numerator"))
        return;
    const qsizetype radicandStart = m_out.size();
    if (!check(parseGroup("Invalid \\sqrt2 command, expected braces for numerator"),
            "Couldn't parse \\sqrt2 radical"))
        return;
    m_out.rotate(indexStart, radicandStart);
    m_out.append(u"</mroot>\n");
}

void LatexParser::parseBigOperator(QStringView token)
{
    // Lower then upper limit group. The token opening each group is taken as it is; the first
    // dialect may still carry a "_" before the first and a "^" before the second.
    const qsizetype start = m_out.size();
    if (!m_expressionV2LatexFormat && isCharacter(peekToken(), u'_'))
        nextToken();
    nextToken();
    parseSequence(ClosingBrace);
    const qsizetype upperStart = m_out.size();
    if (!m_expressionV2LatexFormat && isCharacter(peekToken(), u'^'))
        nextToken();
    nextToken();
    parseSequence(ClosingBrace);
    if (m_error)
        return;
    const bool hasLower = upperStart > start;
    const bool hasUpper = m_out.size() > upperStart;
    const qsizetype end = m_out.size();
    if (hasLower && hasUpper)
        m_out.append(u"<munderover>\n");
    else if (hasLower)
        m_out.append(u"<munder>\n");
    else if (hasUpper)
        m_out.append(u"<mover>\n");
    m_out.append(u"<mo>&"); // a character entity reference: &sum; &int; &prod;
    m_out.append(token.mid(1));
    m_out.append(u";</mo>\n");
    m_out.rotate(start, end);
    if (hasLower && hasUpper)
        m_out.append(u"</munderover>\n");
    else if (hasLower)
        m_out.append(u"</munder>\n");
    else if (hasUpper)
        m_out.append(u"</mover>\n");
}

void LatexParser::parseScripted()
{
    const qsizetype start = m_out.size();
    if (!check(parseGroup("Invalid \\ss command, expected braces for base numerator"),
            "Couldn't parse \\ss base numerator"))
        return;
    const qsizetype subscriptStart = m_out.size();
    parseGroup("Invalid \\ss command, expected braces for subscript numerator");
    const qsizetype superscriptStart = m_out.size();
    parseGroup("Invalid \\ss command, expected braces for superscript numerator");
    if (m_error)
        return;
    const bool hasSubscript = superscriptStart > subscriptStart;
    const bool hasSuperscript = m_out.size() > superscriptStart;
    if (hasSubscript && hasSuperscript) {
        m_out.insert(start, u"<msubsup>\n");
        m_out.append(u"</msubsup>\n");
    } else if (hasSubscript) {
        m_out.insert(start, u"<msub>\n");
        m_out.append(u"</msub>\n");
    } else if (hasSuperscript) {
        m_out.insert(start, u"<msup>\n");
        m_out.append(u"</msup>\n");
    }
}

void LatexParser::parseAccent(const char16_t* head, const char16_t* tail,
    const char* notOpenedMessage, const char* emptyMessage)
{
    m_out.append(QStringView(head));
    if (check(parseGroup(notOpenedMessage), emptyMessage))
        m_out.append(QStringView(tail));
}

} // namespace Taviosystem
