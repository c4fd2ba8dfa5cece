#include "genericmessageconverter.h"

#include "hub/hubresponse.h"

#include <taviosystem/enhancedgenericsession.h>

namespace Taviosystem {

namespace {

const QString SessionDescriptionRequestDocument
    = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><request type=\"SD\" />");
const QString QuestionRequestDocument = QStringLiteral(
    "<?xml version=\"1.0\" encoding=\"utf-8\"?><request type=\"Q\"><id>%1</id></request>");
const QString DiscardedMessageDocument
    = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><info type=\"DSD\" />");
const QString ResponseDocument
    = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?><response><answer qtype=\"%1\" "
                     "qnumber=\"%2\">%3</answer></response>");

// How the answer of a question kind is read from the bytes after the question number.
enum class AnswerRule {
    Character, // the one character whose code is the first answer byte
    Text, // the UTF-8 text, surrounding white space removed
    OrderedText // as Text, 1 to MaximumOrderedAnswerLength characters
};

struct AnswerKind
{
    quint8 kind;
    const char* questionType;
    AnswerRule rule;
};

using C = GenericMessageConverter;
const AnswerKind AnswerKinds[] = {
    { C::DeviceKind_Multichoice, "QMC", AnswerRule::OrderedText },
    { C::DeviceKind_YesNo, "QYN", AnswerRule::Character },
    { C::DeviceKind_TrueFalse, "QTF", AnswerRule::Character },
    { C::DeviceKind_Likert, "QLS", AnswerRule::Character },
    { C::DeviceKind_Numeric, "QNU", AnswerRule::Text },
    { C::DeviceKind_Text, "QTX", AnswerRule::Text },
    { C::DeviceKind_SortInOrder, "QSO", AnswerRule::OrderedText },
};

} // namespace

GenericMessageConverter::GenericMessageConverter(
    const QByteArray& message, Direction direction, QObject* parent)
    : QObject(parent)
    , m_direction(direction)
{
    if (direction == Direction_Control)
        convertControlMessage(message);
    else
        convertDeviceMessage(message);
}

QByteArray GenericMessageConverter::xmlMessage(const QString& document)
{
    return char(EnhancedGenericSession::MessageType_Xml) + document.toUtf8();
}

// The answer goes in as the device sent it, without escaping.
QByteArray GenericMessageConverter::responseDocument(
    const QString& questionType, quint32 questionNumber, const QString& answer)
{
    return xmlMessage(ResponseDocument.arg(questionType, QString::number(questionNumber), answer));
}

void GenericMessageConverter::convertControlMessage(const QByteArray& message)
{
    if (message.size() < ControlMessage_Length)
        return;
    m_kind = packetByte(message, ControlMessage_Offset_Kind);
    switch (m_kind) {
    case ControlKind_GetSessionDescription:
        break;
    case ControlKind_RequestSessionDescription:
        m_convertedMessage = xmlMessage(SessionDescriptionRequestDocument);
        break;
    case ControlKind_RequestQuestion:
        m_number = packetNumber(message, ControlMessage_Offset_Number, 2);
        m_convertedMessage = xmlMessage(QuestionRequestDocument.arg(m_number));
        break;
    case ControlKind_GetApplicationFile:
    case ControlKind_MessageDone:
        m_number = packetNumber(message, ControlMessage_Offset_Number, 3);
        break;
    case ControlKind_DiscardMessage:
        m_convertedMessage = xmlMessage(DiscardedMessageDocument);
        break;
    default:
        return;
    }
    m_valid = true;
}

void GenericMessageConverter::convertDeviceMessage(const QByteArray& message)
{
    if (message.size() < DeviceMessage_MinimumLength)
        return;
    m_kind = packetByte(message, DeviceMessage_Offset_Kind);
    if (m_kind == DeviceKind_Unchanged) {
        m_convertedMessage = message;
        m_valid = true;
        return;
    }
    m_number = packetNumber(message, DeviceMessage_Offset_QuestionNumber, 2);
    const QByteArray answer = message.mid(DeviceMessage_Offset_Answer);
    if (m_kind >= DeviceKind_FirstBinary && m_kind <= DeviceKind_LastBinary) {
        m_convertedMessage = char(EnhancedGenericSession::MessageType_BinaryAnswer)
            + message.mid(DeviceMessage_Offset_QuestionNumber);
        m_valid = true;
        return;
    }
    for (const AnswerKind& answerKind : AnswerKinds) {
        if (answerKind.kind != m_kind)
            continue;
        if (message.size() < DeviceMessage_MinimumAnswerLength)
            return;
        QString text;
        if (answerKind.rule == AnswerRule::Character) {
            text = QChar(char16_t(packetByte(answer, 0))); // Latin-1
        } else {
            text = QString::fromUtf8(answer).trimmed();
            if (answerKind.rule == AnswerRule::OrderedText
                && (text.isEmpty() || text.size() > MaximumOrderedAnswerLength))
                return;
        }
        m_convertedMessage
            = responseDocument(QString::fromLatin1(answerKind.questionType), m_number, text);
        m_valid = true;
        return;
    }
    m_number = 0; // an unknown kind
}

} // namespace Taviosystem
