// The cloud hub's decoders of learners' texts: poll answers of every session kind, the device
// messages the self-paced test makes of assessment answers, the maths span and learner serials.
// Byte 0 chooses the kind, the display option, the maths flag and the option count; the rest is
// the learner's text as UTF-8.

#include <taviosystem/tessalyenhancedquestionsession.h>
#include <taviosystem/virtualtessalyhub.h>

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace Taviosystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t control = data[0];
    const QString text
        = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    const int type = control & 0x0F; // session types 0 to 15
    const int display = (control >> 4) & 0x03;
    const bool maths = control & 0x40;
    const int optionCount = (control >> 7) ? 6 : 3;

    int vote = 0;
    QString decoded;
    int value = 0;
    const bool kept = VirtualTessalyHub::processQuestionResponse(
        type, 1, text, display, maths, vote, decoded, value, optionCount);
    // Option answers become one label per option index, each inside the poll.
    if (kept && (type == Hub::SessionType_Multichoice || type == Hub::SessionType_SortInOrder)) {
        if (decoded.isEmpty() || decoded.size() > text.size())
            std::abort();
        for (QChar c : decoded) {
            const bool label = (c >= QLatin1Char('1') && c <= QLatin1Char('6'))
                || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
            if (!label)
                std::abort();
        }
    }
    if (kept && type == Hub::SessionType_Likert && (vote < 1 || vote > optionCount))
        std::abort();
    VirtualTessalyHub::translateToYesNoResponse(decoded, vote);
    VirtualTessalyHub::translateToTrueFalseResponse(decoded, vote);

    QByteArray message;
    if (TessalyEnhancedQuestionSession::responseMessage(type & 0x07, text, message)
        && message.size() > 4 * text.size() + 2)
        std::abort();

    QString span = text;
    const QString inside = TessalyEnhancedQuestionSession::extractTessalyLatex(span);
    if (inside.size() > text.size())
        std::abort();
    QString wrapped = text;
    TessalyEnhancedQuestionSession::encodeAsTessalyLatex(wrapped);
    QString converted = text;
    TessalyEnhancedQuestionSession::convertToTessalyLatex(converted);

    // A token's first serial candidate is the sum of its bytes taken as signed.
    qint64 sum = 0;
    const QByteArray utf8 = text.toUtf8();
    for (char byte : utf8)
        sum += qint8(byte);
    if (VirtualTessalyHub::serialCandidate(text) != int(quint32(qint64(sum) & 0xFFFFFFFF)))
        std::abort();
    return 0;
}
