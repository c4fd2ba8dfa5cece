#pragma once

// A pull reader of the small XML subset MathML fragments are written in: elements with plain
// ASCII names, attributes in either quote, character data with the predefined, numeric and
// MathML named entity references, CDATA sections and comments.
//
// It answers only for documents it can read completely. Anything outside the subset (a
// processing instruction, a document type declaration, a namespace prefix, an unusual character
// or a document that is not well-formed) stops it with hasError(), and the caller reads the
// fragment again with a full XML reader; the error therefore carries no meaning of its own.
//
// The interface is the part of QXmlStreamReader's that the MathML converter uses, so one
// converter serves both readers.

#include <QtCore/QString>
#include <QtCore/QStringView>
#include <QtCore/QVarLengthArray>

namespace Taviosystem {

class MathmlReader
{
public:
    enum TokenType {
        NoToken,
        Invalid,
        StartDocument,
        EndDocument,
        StartElement,
        EndElement,
        Characters,
        Comment
    };

    explicit MathmlReader(QStringView text);

    TokenType readNext();
    bool atEnd() const { return m_atEnd; }
    bool hasError() const { return m_error; }
    // The element name of the current start or end tag.
    QStringView name() const { return m_name; }
    // On a start tag: the element's character data (entities replaced, comments left out), with
    // the reader left on the element's end tag. A child element is an error.
    QString readElementText();
    // On a start tag: moves to the element's end tag.
    void skipCurrentElement();

private:
    TokenType fail();
    TokenType readTag();
    TokenType readEndTag();
    TokenType readMarkupDeclaration();
    TokenType readText();
    bool readAttributes(qsizetype nameEnd);
    // Scans character data up to the next '<' (or the end), appending its text to out when out
    // is not null. False when the data is outside the subset.
    bool scanText(QString* out);
    bool readReference(QString* out);

    QStringView m_text;
    qsizetype m_at = 0;
    QStringView m_name;
    QStringView m_cdata; // the text of the CDATA section just read
    QVarLengthArray<QStringView, 32> m_open; // names of the open elements, innermost last
    bool m_pendingEnd = false; // the current start tag was written as an empty element
    bool m_rootSeen = false;
    bool m_started = false;
    bool m_atEnd = false;
    bool m_error = false;
};

} // namespace Taviosystem
