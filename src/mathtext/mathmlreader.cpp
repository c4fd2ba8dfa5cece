#include "mathmlreader.h"

#include "mathmltolatex.h"

namespace Taviosystem {

namespace {

// The one namespace declaration the subset takes; any other is left to the full reader.
const char16_t MathmlNamespace[] = u"http://www.w3.org/1998/Math/MathML";

bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }
bool isLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isNameChar(char16_t c) { return isLetter(c) || isDigit(c); }

// A character the subset takes as written in character data, attribute values, comments and
// CDATA sections: no control characters, surrogates, non-characters or byte order marks.
bool isPlain(char16_t c)
{
    if (c >= 0x20)
        return c < 0xD800 || (c >= 0xE000 && c <= 0xFFFD && c != 0xFEFF);
    return c == u'\t' || c == u'\n' || c == u'\r';
}

int hexValue(char16_t c)
{
    if (isDigit(c))
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The predefined entities; the MathML names come from the converter's table.
QStringView predefinedEntity(QStringView name)
{
    if (name == u"lt")
        return u"<";
    if (name == u"gt")
        return u">";
    if (name == u"amp")
        return u"&";
    if (name == u"quot")
        return u"\"";
    if (name == u"apos")
        return u"'";
    return QStringView();
}

bool startsWithXml(QStringView name)
{
    return name.size() >= 3 && (name[0].unicode() | 0x20) == u'x' && (name[1].unicode() | 0x20) == u'm'
        && (name[2].unicode() | 0x20) == u'l';
}

} // namespace

MathmlReader::MathmlReader(QStringView text)
    : m_text(text)
{
}

MathmlReader::TokenType MathmlReader::fail()
{
    m_error = true;
    m_atEnd = true;
    return Invalid;
}

MathmlReader::TokenType MathmlReader::readNext()
{
    if (m_error)
        return Invalid;
    if (m_atEnd)
        return EndDocument;
    if (!m_started) {
        m_started = true;
        return StartDocument;
    }
    if (m_pendingEnd) {
        m_pendingEnd = false;
        m_name = m_open.back();
        m_open.pop_back();
        return EndElement;
    }
    if (m_at >= m_text.size()) {
        if (!m_open.isEmpty() || !m_rootSeen)
            return fail();
        m_atEnd = true;
        return EndDocument;
    }
    if (m_text[m_at] != u'<')
        return readText();
    if (m_at + 1 >= m_text.size())
        return fail();
    switch (m_text[m_at + 1].unicode()) {
    case u'/':
        return readEndTag();
    case u'!':
        return readMarkupDeclaration();
    default:
        return readTag();
    }
}

MathmlReader::TokenType MathmlReader::readTag()
{
    const qsizetype start = m_at + 1;
    qsizetype at = start;
    if (!isLetter(m_text[at].unicode()) || (m_open.isEmpty() && m_rootSeen))
        return fail();
    while (at < m_text.size() && isNameChar(m_text[at].unicode()))
        ++at;
    m_name = m_text.mid(start, at - start);
    if (!readAttributes(at))
        return fail();
    m_open.append(m_name);
    m_rootSeen = true;
    return StartElement;
}

bool MathmlReader::readAttributes(qsizetype at)
{
    const qsizetype size = m_text.size();
    QVarLengthArray<QStringView, 8> names;
    for (;;) {
        const qsizetype spaceStart = at;
        while (at < size && isSpace(m_text[at].unicode()))
            ++at;
        if (at >= size)
            return false;
        const char16_t c = m_text[at].unicode();
        if (c == u'>') {
            m_at = at + 1;
            return true;
        }
        if (c == u'/') {
            if (at + 1 >= size || m_text[at + 1] != u'>')
                return false;
            m_pendingEnd = true;
            m_at = at + 2;
            return true;
        }
        if (at == spaceStart || !isLetter(c))
            return false;

        const qsizetype nameStart = at;
        while (at < size && (isNameChar(m_text[at].unicode()) || m_text[at] == u'-'))
            ++at;
        const QStringView name = m_text.mid(nameStart, at - nameStart);
        while (at < size && isSpace(m_text[at].unicode()))
            ++at;
        if (at >= size || m_text[at] != u'=')
            return false;
        ++at;
        while (at < size && isSpace(m_text[at].unicode()))
            ++at;
        if (at >= size || (m_text[at] != u'"' && m_text[at] != u'\''))
            return false;
        const QChar quote = m_text[at++];
        const qsizetype valueStart = at;
        for (; at < size && m_text[at] != quote; ++at) {
            const char16_t v = m_text[at].unicode();
            if (v == u'<' || v == u'&' || !isPlain(v))
                return false;
        }
        if (at >= size)
            return false;
        const QStringView value = m_text.mid(valueStart, at - valueStart);
        ++at;
        if (startsWithXml(name) && (name != u"xmlns" || value != QStringView(MathmlNamespace)))
            return false;
        for (const QStringView earlier : names) {
            if (earlier == name)
                return false;
        }
        names.append(name);
    }
}

MathmlReader::TokenType MathmlReader::readEndTag()
{
    const qsizetype start = m_at + 2;
    qsizetype at = start;
    while (at < m_text.size() && isNameChar(m_text[at].unicode()))
        ++at;
    const QStringView name = m_text.mid(start, at - start);
    while (at < m_text.size() && isSpace(m_text[at].unicode()))
        ++at;
    if (at >= m_text.size() || m_text[at] != u'>' || m_open.isEmpty() || m_open.back() != name)
        return fail();
    m_open.pop_back();
    m_name = name;
    m_at = at + 1;
    return EndElement;
}

// A comment anywhere, or a CDATA section inside an element.
MathmlReader::TokenType MathmlReader::readMarkupDeclaration()
{
    const QStringView rest = m_text.mid(m_at);
    if (rest.startsWith(u"<!--")) {
        qsizetype at = m_at + 4;
        if (at < m_text.size() && (m_text[at] == u'-' || m_text[at] == u'>'))
            return fail();
        for (; at < m_text.size(); ++at) {
            const char16_t c = m_text[at].unicode();
            if (c == u'-' && at + 1 < m_text.size() && m_text[at + 1] == u'-') {
                if (at + 2 >= m_text.size() || m_text[at + 2] != u'>')
                    return fail();
                m_at = at + 3;
                return Comment;
            }
            if (!isPlain(c))
                return fail();
        }
        return fail();
    }
    if (rest.startsWith(u"<![CDATA[") && !m_open.isEmpty()) {
        const qsizetype start = m_at + 9;
        const qsizetype end = m_text.indexOf(u"]]>", start);
        if (end < 0)
            return fail();
        for (qsizetype at = start; at < end; ++at) {
            if (!isPlain(m_text[at].unicode()))
                return fail();
        }
        m_cdata = m_text.mid(start, end - start);
        m_at = end + 3;
        return Characters;
    }
    return fail();
}

MathmlReader::TokenType MathmlReader::readText()
{
    if (!m_open.isEmpty())
        return scanText(nullptr) ? Characters : fail();
    // Between the top-level markup only white space.
    while (m_at < m_text.size() && m_text[m_at] != u'<') {
        if (!isSpace(m_text[m_at].unicode()))
            return fail();
        ++m_at;
    }
    return Characters;
}

bool MathmlReader::scanText(QString* out)
{
    const qsizetype size = m_text.size();
    qsizetype run = m_at;
    for (;;) {
        if (m_at >= size || m_text[m_at] == u'<' || m_text[m_at] == u'&') {
            if (out && m_at > run)
                out->append(m_text.mid(run, m_at - run));
            if (m_at >= size || m_text[m_at] == u'<')
                return true;
            if (!readReference(out))
                return false;
            run = m_at;
            continue;
        }
        const char16_t c = m_text[m_at].unicode();
        if (!isPlain(c))
            return false;
        if (c == u']' && m_text.mid(m_at, 3) == u"]]>")
            return false;
        ++m_at;
    }
}

// At '&': a character reference or a known entity, appended to out when out is not null.
bool MathmlReader::readReference(QString* out)
{
    const qsizetype size = m_text.size();
    qsizetype at = m_at + 1;
    if (at < size && m_text[at] == u'#') {
        ++at;
        const bool hex = at < size && m_text[at] == u'x';
        if (hex)
            ++at;
        const qsizetype digitsStart = at;
        char32_t value = 0;
        for (; at < size && at - digitsStart <= 7; ++at) {
            const int digit = hex
                ? hexValue(m_text[at].unicode())
                : (isDigit(m_text[at].unicode()) ? m_text[at].unicode() - u'0' : -1);
            if (digit < 0)
                break;
            value = value * (hex ? 16 : 10) + char32_t(digit);
        }
        if (at == digitsStart || at - digitsStart > 7 || at >= size || m_text[at] != u';')
            return false;
        const bool valid = (value >= 0x20 && value < 0xD800) || (value >= 0xE000 && value <= 0xFFFD)
            || (value >= 0x10000 && value <= 0x10FFFF);
        if (!valid)
            return false;
        if (out) {
            if (value > 0xFFFF) {
                out->append(QChar(QChar::highSurrogate(value)));
                out->append(QChar(QChar::lowSurrogate(value)));
            } else {
                out->append(QChar(char16_t(value)));
            }
        }
        m_at = at + 1;
        return true;
    }

    const qsizetype nameStart = at;
    if (at >= size || !isLetter(m_text[at].unicode()))
        return false;
    while (at < size && isNameChar(m_text[at].unicode()))
        ++at;
    if (at >= size || m_text[at] != u';')
        return false;
    const QStringView name = m_text.mid(nameStart, at - nameStart);
    QStringView value = predefinedEntity(name);
    if (value.isNull())
        value = MathmlConverter::entityValue(name);
    if (value.isNull())
        return false;
    if (out)
        out->append(value);
    m_at = at + 1;
    return true;
}

QString MathmlReader::readElementText()
{
    QString text;
    for (;;) {
        if (m_error)
            return text;
        if (m_pendingEnd
            || (m_at + 1 < m_text.size() && m_text[m_at] == u'<' && m_text[m_at + 1] == u'/')) {
            readNext();
            return text;
        }
        if (m_at >= m_text.size()) {
            fail();
            return text;
        }
        if (m_text[m_at] != u'<') {
            if (!scanText(&text))
                fail();
            continue;
        }
        if (m_at + 1 >= m_text.size() || m_text[m_at + 1] != u'!') {
            fail(); // a child element or a processing instruction
            return text;
        }
        if (readMarkupDeclaration() == Characters)
            text += m_cdata;
    }
}

void MathmlReader::skipCurrentElement()
{
    int depth = 1;
    while (depth > 0) {
        switch (readNext()) {
        case StartElement:
            ++depth;
            break;
        case EndElement:
            --depth;
            break;
        case Invalid:
            return;
        default:
            break;
        }
    }
}

} // namespace Taviosystem
