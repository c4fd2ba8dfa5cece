#pragma once

// LaTeX typed on TavioExpression devices, in either of their two dialects, to a presentation
// MathML fragment. A hand-written tokeniser (each token the longest match at its position) feeds
// a recursive-descent parser that writes the MathML text directly.
//
// Threads: one LatexParser per call; the symbol table is read-only, so calls may run on any
// thread.

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QStringView>
#include <QtCore/QVarLengthArray>

#include <string>

namespace Taviosystem {

class LatexParser
{
public:
    // Result codes of translate().
    enum Result { Result_Success = 0, Result_Failure = 1 };

    // Sequences nested deeper than this (braces, brackets, command groups, scripts) make the
    // translation fail instead of exhausting the stack. Each level of a text that translates
    // costs an opening and a closing character, so a device answer (at most 512 characters)
    // stays near 256 levels at worst; only far longer texts reach the limit.
    static constexpr int MaximumNestingDepth = 512;

    // The whole translation. Text that already holds "<math" comes back with the attributes of
    // its opening math tags dropped; empty text gives success and leaves mathml alone; otherwise
    // mathml becomes "<math>\n" + the fragment + "</math>". On failure mathml is left as it was.
    static int translate(const QString& latex, QString& mathml, bool expressionV2LatexFormat);

    // The steps on their own, for tests and measurements.
    // The first dialect's clean-up: fixed rewrites, symbol characters as command names, and a
    // base with both a subscript and a superscript as "\ss{base}{sub}{sup}".
    static QString cleanFirstDialect(const QString& latex);
    static QStringList tokenize(QStringView text);
    // The first dialect's big operators, each followed by its two limit groups.
    static QStringList normaliseBigOperators(const QStringList& tokens);

private:
    using Tokens = QVarLengthArray<QStringView, 128>;

    // The MathML being written: a QString used as a plain growing buffer, so that the many
    // short pieces are copied inline and the result is handed over without a copy.
    class Output
    {
    public:
        qsizetype size() const { return m_size; }
        void append(const char16_t* text, qsizetype length)
        {
            if (m_size + length > m_capacity)
                grow(length);
            std::char_traits<char16_t>::copy(m_data + m_size, text, std::size_t(length));
            m_size += length;
        }
        template <std::size_t N>
        void append(const char16_t (&literal)[N])
        {
            append(literal, qsizetype(N - 1));
        }
        void append(QStringView text) { append(text.utf16(), text.size()); }
        void append(QChar c) { append(&c.unicode(), 1); }
        // Moves the text from at onwards to after text.
        void insert(qsizetype at, QStringView text);
        // Swaps the pieces [first, middle) and [middle, end).
        void rotate(qsizetype first, qsizetype middle);
        void reserve(qsizetype capacity);
        QString take();

    private:
        void grow(qsizetype length);

        QString m_text;
        char16_t* m_data = nullptr;
        qsizetype m_size = 0;
        qsizetype m_capacity = 0;
    };

    LatexParser(const QStringView* tokens, qsizetype count, bool expressionV2LatexFormat);

    // Each returns true and leaves out untouched when the text needs no change.
    static bool cleanFixedPatterns(QStringView text, QString& out);
    static bool cleanSymbolCharacters(QStringView text, QString& out);
    static bool cleanScripts(QStringView text, QString& out);
    static void cleanFirstDialect(QStringView latex, QString& cleaned, QStringView& result);
    // Returns whether a big operator token was seen.
    static bool tokenize(QStringView text, Tokens& tokens);
    static void normaliseBigOperators(const Tokens& in, Tokens& out);

    QStringView nextToken();
    QStringView peekToken() const;
    // A false condition marks the translation failed; message names the fault for a reader of
    // the code and a debugger, it is reported nowhere.
    bool check(bool condition, const char* message);

    void parseSequence(QStringView closer);
    // A command the parser handles itself; false for any other token.
    bool parseCommand(QStringView token);
    void parseScript(QStringView base);
    void parseBrackets(QChar opener);
    bool parseGroup(const char* notOpenedMessage);
    void parseFraction();
    void parseRoot();
    void parseIndexedRoot();
    void parseBigOperator(QStringView token);
    void parseScripted();
    void parseAccent(const char16_t* head, const char16_t* tail, const char* notOpenedMessage,
        const char* emptyMessage);

    void appendElement(const char16_t* name, QStringView content);

    const QStringView* m_tokens;
    qsizetype m_count;
    qsizetype m_next = 0;
    bool m_expressionV2LatexFormat;
    bool m_error = false;
    const char* m_failure = nullptr; // the first fault met
    int m_depth = 0;
    Output m_out;
};

} // namespace Taviosystem
