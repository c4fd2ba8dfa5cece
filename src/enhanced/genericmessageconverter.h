#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QString>

namespace Taviosystem {

// Turns one message of the enhanced generic session into what the host is given. Built for one
// message and one direction:
// - a device control message (9 bytes from a 0x94 packet): requests for the session
//   description, a question or an application file, and the device's notices about messages.
//   Requests the host answers become small XML documents; the others carry only a number for
//   the session handler to act on.
// - a complete device message: answers of the question kinds become XML response documents,
//   binary answers get the binary answer type byte, kind 0 passes unchanged.
// An invalid conversion is dropped by the caller. Delivered documents start with the XML type
// byte (EnhancedGenericSession::MessageType_Xml).
class GenericMessageConverter : public QObject
{
    Q_OBJECT
public:
    enum Direction { Direction_Control = 0, Direction_DeviceMessage = 1 };

    // Kinds of a control message (byte 0).
    enum ControlKind : quint8 {
        ControlKind_GetSessionDescription = 1, // send the device the session description
        ControlKind_RequestSessionDescription = 2, // delivered to the host
        ControlKind_RequestQuestion = 3, // delivered; bytes 1 and 2 the question number
        ControlKind_GetApplicationFile = 4, // send that file; bytes 1 to 3 its number
        ControlKind_DiscardMessage = 5, // drop the device's outgoing message; delivered
        ControlKind_MessageDone = 6 // the device holds message bytes 1 to 3
    };
    // Kinds of a device message (byte 0).
    enum DeviceKind : quint8 {
        DeviceKind_Unchanged = 0,
        DeviceKind_Multichoice = 1,
        DeviceKind_YesNo = 2,
        DeviceKind_TrueFalse = 3,
        DeviceKind_Likert = 4,
        DeviceKind_Numeric = 5,
        DeviceKind_Text = 6,
        DeviceKind_SortInOrder = 7,
        DeviceKind_FirstBinary = 8,
        DeviceKind_LastBinary = 9
    };

    static constexpr int ControlMessage_Length = 9; // shorter control messages are invalid
    static constexpr int ControlMessage_Offset_Kind = 0;
    static constexpr int ControlMessage_Offset_Number = 1; // 16 or 24 bits, big-endian
    static constexpr int DeviceMessage_MinimumLength = 3;
    static constexpr int DeviceMessage_Offset_Kind = 0;
    static constexpr int DeviceMessage_Offset_QuestionNumber = 1; // 16 bits, big-endian
    static constexpr int DeviceMessage_Offset_Answer = 3;
    static constexpr int DeviceMessage_MinimumAnswerLength = 4; // kinds with an XML document
    static constexpr int MaximumOrderedAnswerLength = 6; // characters of kinds 1 and 7

    GenericMessageConverter(
        const QByteArray& message, Direction direction, QObject* parent = nullptr);

    bool isValid() const { return m_valid; }
    // The control message's kind; 0 in the device-message direction.
    quint8 kind() const { return m_direction == Direction_Control ? m_kind : 0; }
    // What the host is given; empty for control kinds the session handler answers itself.
    QByteArray convertedMessage() const { return m_convertedMessage; }
    // Control kinds 3, 4 and 6: the question, file or message number; device messages of
    // kinds 1 to 9: the question number; otherwise 0.
    quint32 number() const { return m_number; }

private:
    void convertControlMessage(const QByteArray& message);
    void convertDeviceMessage(const QByteArray& message);
    static QByteArray xmlMessage(const QString& document);
    static QByteArray responseDocument(
        const QString& questionType, quint32 questionNumber, const QString& answer);

    bool m_valid = false;
    Direction m_direction;
    quint8 m_kind = 0;
    QByteArray m_convertedMessage;
    quint32 m_number = 0;
};

} // namespace Taviosystem
