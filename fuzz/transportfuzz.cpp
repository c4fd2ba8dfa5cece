// Drives one hub's long-message transport with arbitrary traffic: packets of either mode as the
// event thread hands them over, interleaved with host messages, stops and restarts; and decodes
// arbitrary device messages as answers to every question kind and as generic messages. The hub
// has no board library behind it, so every command it sends fails at once.

#include "fuzzsupport.h"
#include "support/testhub.h"

#include "enhanced/enhancedsessionhandler.h"
#include "enhanced/genericmessageconverter.h"

#include <taviosystem/enhancedquestionsession.h>

#include <QtCore/QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

using namespace Taviosystem;

namespace {
// Reaches the session's answer entry point, as the hub calls it.
struct AnswerEntry : EnhancedQuestionSession
{
    static void answer(Hub* hub, quint32 uid, const QByteArray& message, bool v2)
    {
        responseCallback(hub, uid, message, nullptr, v2);
    }
    static void request(Hub* hub, quint32 uid, const QByteArray& data)
    {
        getMsgCallback(hub, uid, data, nullptr);
    }
};

struct Target : FuzzSupport::Application
{
    TavioTest::TestSystem system;
    TavioTest::TestTavioHub* hub = system.addUnattachedTavioHub(1);
    std::vector<std::unique_ptr<EnhancedQuestion>> questions;
    Target()
    {
        hub->setResponseTimeout(0);
        questions.push_back(
            std::make_unique<MultichoiceQuestion>(1, "q", "q", 6, 3, DisplayOption_Digits, "123"));
        questions.push_back(std::make_unique<MultichoiceQuestion>(
            2, "q", "q", 6, 3, DisplayOption_LowerCaseLetters, "abc"));
        questions.push_back(
            std::make_unique<YesNoQuestion>(3, "q", "q", true, YesNoQuestion::Answer_Yes));
        questions.push_back(std::make_unique<TrueFalseQuestion>(
            4, "q", "q", true, TrueFalseQuestion::Answer_False));
        questions.push_back(std::make_unique<LikertQuestion>(5, "q", "q", 5, 2));
        questions.push_back(std::make_unique<NumericQuestion>(6, "q", "q", 10, "1"));
        questions.push_back(std::make_unique<TextQuestion>(7, "q", "q", 100, "x", "x", true));
        questions.push_back(std::make_unique<SortInOrderQuestion>(
            8, "q", "q", 4, 4, DisplayOption_UpperCaseLetters, "ABCD"));
    }
};

// A device message as an answer to each question kind, and as both kinds of generic message.
void decodeDeviceMessage(Target& target, quint8 selector, const QByteArray& bytes)
{
    EnhancedQuestionSession* session = target.hub->enhancedQuestionSession();
    const quint32 uid = 0x0C000001;
    const auto& question = target.questions[selector % target.questions.size()];
    session->sendQuestion(uid, question.get()); // recorded, though it cannot be sent
    AnswerEntry::answer(target.hub, uid, bytes, selector & 0x40);
    AnswerEntry::request(target.hub, uid, bytes);
    (void)GenericMessageConverter(bytes, GenericMessageConverter::Direction_Control)
        .convertedMessage();
    (void)GenericMessageConverter(bytes, GenericMessageConverter::Direction_DeviceMessage)
        .convertedMessage();
}
} // namespace

// Input: a mode byte, then records of an operation byte, a length byte and that many bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Target target;
    EnhancedSessionHandler* handler = target.hub->transportHandler();
    if (size == 0 || !handler)
        return 0;
    handler->stop();
    const quint32 mode
        = data[0] & 1 ? EnhancedSessionHandler::Mode_Async : EnhancedSessionHandler::Mode_Generic;
    handler->start(mode);
    std::size_t at = 1;
    while (at + 2 <= size) {
        const std::uint8_t operation = data[at];
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        const QByteArray bytes(reinterpret_cast<const char*>(data + at + 2), int(length));
        at += 2 + length;
        switch (operation % 4) {
        case 0:
        case 1:
            handler->handleAsEvent(
                operation & 0x80 ? EventType_AsyncPacket : EventType_GenericAsyncPacket, bytes);
            break;
        case 2:
            handler->send(quint16(operation << 4 | length), bytes);
            break;
        default:
            if (operation & 0x80) {
                handler->stop();
                handler->start(mode);
            } else {
                decodeDeviceMessage(target, operation >> 2, bytes);
            }
            break;
        }
    }
    return 0;
}
