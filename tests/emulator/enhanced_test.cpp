// The 2.4 GHz hub's long-message transport and its answer devices, seen from the host's side:
// the test writes the host's commands and checks every byte the hub and its devices send back.
#include "emulator_test_support.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>

using namespace EmulatorTests;

namespace {

using TavioEmulator::EmulatedDevice;
using TavioEmulator::EnhancedFirmware;
using TavioEmulator::EnhancedMode;
using TavioEmulator::EnhancedQuestionInfo;
using TavioEmulator::QuestionInfo;
using TavioEmulator::TwoPointFourGHzFirmware;

Bytes text(const std::string& bytes) { return Bytes(bytes.begin(), bytes.end()); }

Bytes operator+(Bytes head, const Bytes& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

Packets operator+(Packets head, const Packets& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// `value` in `width` bytes, most significant first.
Bytes big(std::uint32_t value, int width)
{
    Bytes bytes;
    for (int i = width - 1; i >= 0; --i)
        bytes.push_back(std::uint8_t(value >> (8 * i)));
    return bytes;
}

// The host's commands.
Bytes startAsync() { return text(":XP00A\r") + Bytes { 0 }; }
Bytes startGeneric() { return text(":XP00D\r") + Bytes { 0 }; }
Bytes announceAsync(std::uint16_t address, std::uint8_t number)
{
    return text(":XP00B\r") + Bytes { 3 } + big(address, 2) + Bytes { number };
}
Bytes chunkAsync(std::uint8_t number, std::uint8_t k, std::uint8_t count, const Bytes& data)
{
    return text(":XP00C\r")
        + Bytes { std::uint8_t(data.size() + 4), number, k, count, std::uint8_t(data.size()) }
    + data;
}
Bytes announceGeneric(std::uint16_t address, std::uint32_t number)
{
    return text(":XP00E\r") + Bytes { 5 } + big(address, 2) + big(number, 3);
}
Bytes chunkGeneric(std::uint32_t number, std::uint16_t index, std::uint16_t count, Bytes data)
{
    data.resize(50, 0);
    return text(":XP00F\r") + big(number, 3) + big(index, 2) + big(count, 2) + data;
}

// Host messages 0x01 and 0x02.
Bytes parameters(std::uint8_t total, std::uint8_t flags, std::uint8_t start, const Bytes& mask,
    std::uint8_t last)
{
    return Bytes { 0x01 } + big(std::uint32_t(4 + mask.size()), 2) + Bytes { total, flags, start }
    + mask + Bytes { last };
}
Bytes question(std::uint8_t number, std::uint8_t kind, std::uint8_t display, std::uint8_t flags,
    const std::string& prompt, const Bytes& correct)
{
    const Bytes body = Bytes { number, kind, display, flags } + big(std::uint32_t(prompt.size()), 2)
        + big(std::uint32_t(correct.size()), 2) + text(prompt) + correct;
    return Bytes { 0x02 } + big(std::uint32_t(body.size()), 2) + body;
}

const Bytes OK { 0x04, 0x32, 0x4F, 0x4B };

const EmulatedDevice ann = EmulatedDevice::expression(0xA001, 0x0201, "Ann");
const EmulatedDevice bob = EmulatedDevice::expressionV2(0xA002, 0x0202, "Bob");
const EmulatedDevice voter = EmulatedDevice::taviote(0x11223344, 0x0303, "Tom");

// Packets of the given kinds, in order.
Packets ofKinds(const Packets& packets, const std::set<std::uint8_t>& kinds)
{
    Packets kept;
    for (const Bytes& packet : packets) {
        if (packet.size() > 1 && kinds.count(packet[1]) != 0)
            kept.push_back(packet);
    }
    return kept;
}

// 0C 84 address then the 8 data bytes.
Bytes requestPacket(std::uint16_t address, std::uint8_t kind, std::uint8_t at2, std::uint8_t at5)
{
    return Bytes { 12, 0x84 } + big(address, 2) + Bytes { kind, 0, at2, 0, 0, at5, 0, 0 };
}
// 0D 94 address then the 9 control bytes.
Bytes controlPacket(std::uint16_t address, const Bytes& control)
{
    Bytes padded = control;
    padded.resize(9, 0);
    return Bytes { 13, 0x94 } + big(address, 2) + padded;
}
Bytes ackPacket(std::uint16_t address, std::uint16_t start, Bytes bitmap)
{
    bitmap.resize(7, 0);
    return Bytes { 13, 0x93 } + big(address, 2) + big(start, 2) + bitmap;
}

class EnhancedTest : public HubTest
{
protected:
    void SetUp() override
    {
        HubTest::SetUp();
        enhanced->setStartDelay(0ms);
        enhanced->setRequestRetry(1s, 0);
        radio->addDevices({ ann, bob, voter });
        hub->setFirmware(radio);
    }

    Packets ask(const Bytes& command)
    {
        EXPECT_EQ(write(hub->handle(), command), int(command.size()));
        return take();
    }
    // Announces an async message and writes all its chunks, 49 bytes each, without waiting for
    // requests; answers everything that came back.
    Packets sendAsync(std::uint16_t address, std::uint8_t number, const Bytes& message)
    {
        Packets all = ask(announceAsync(address, number));
        const std::size_t count = (message.size() + 48) / 49;
        for (std::size_t k = 0; k < count; ++k) {
            const auto from = message.begin() + std::ptrdiff_t(49 * k);
            const Bytes data(
                from, from + std::ptrdiff_t(std::min<std::size_t>(49, message.end() - from)));
            all = all + ask(chunkAsync(number, std::uint8_t(k + 1), std::uint8_t(count), data));
        }
        return all;
    }

    std::shared_ptr<EnhancedFirmware> enhanced = std::make_shared<EnhancedFirmware>();
    std::shared_ptr<TwoPointFourGHzFirmware> radio = TavioEmulator::radioFirmwareFor(enhanced);
};

TEST_F(EnhancedTest, AsyncStartAnnounceChunksAndDone)
{
    enhanced->setLocaleId(0x0C);
    EXPECT_FALSE(enhanced->waitUntilFinished(0ms)); // no run, no devices
    EXPECT_EQ(ask(startAsync()),
        (Packets {
            OK, requestPacket(ann.address, 0, 0, 0x0C), requestPacket(bob.address, 0, 0, 0x0C) }));
    EXPECT_EQ(enhanced->mode(), EnhancedMode::Async);

    // The Taviote takes no part: its announce is answered and nothing is requested.
    EXPECT_EQ(ask(announceAsync(voter.address, 9)), (Packets { OK }));
    EXPECT_EQ(ask(announceAsync(ann.address, 5)), (Packets { OK, { 3, 0x85, 5 } }));
    EXPECT_EQ(ask(chunkAsync(5, 1, 2, text("abc"))),
        (Packets { OK, ackPacket(ann.address, 0, { 0x01 }), { 3, 0x85, 5 } }));
    // The same chunk again changes nothing; the other one completes the message.
    EXPECT_EQ(ask(chunkAsync(5, 1, 2, text("abc"))),
        (Packets { OK, ackPacket(ann.address, 0, { 0x01 }), { 3, 0x85, 5 } }));
    EXPECT_EQ(ask(chunkAsync(5, 2, 2, text("de"))),
        (Packets { OK, ackPacket(ann.address, 0, { 0x03 }), { 3, 0x86, 5 } }));
    auto report = enhanced->report(ann.uid);
    ASSERT_TRUE(report);
    ASSERT_EQ(report->messages.size(), 1u);
    EXPECT_EQ(report->messages[0].number, 5u);
    EXPECT_EQ(report->messages[0].bytes, text("abcde"));
    EXPECT_EQ(std::tuple(report->chunkCommands, report->acksSent, report->requestsSent),
        std::tuple(3, 3, 1));

    // One message to two devices: requested until both hold it, then done once.
    enhanced->setRequestAnyMessage(true);
    EXPECT_EQ(ask(announceAsync(ann.address, 7)), (Packets { OK, { 3, 0x85, 0 } }));
    EXPECT_EQ(ask(announceAsync(bob.address, 7)), (Packets { OK }));
    EXPECT_EQ(ask(chunkAsync(7, 1, 1, text("x"))),
        (Packets { OK, ackPacket(ann.address, 0, { 1 }), ackPacket(bob.address, 0, { 1 }),
            { 3, 0x86, 7 } }));

    // Commands of the other mode and malformed ones get no answer.
    EXPECT_EQ(ask(announceGeneric(ann.address, 1)), Packets {});
    EXPECT_EQ(ask(chunkGeneric(1, 0, 1, text("x"))), Packets {});
    EXPECT_EQ(
        ask(text(":XP00C\r") + Bytes { 6, 5, 1, 1, 3, 'a', 'b' }), Packets {}); // n = 3, 2 bytes
    EXPECT_EQ(ask(chunkAsync(5, 3, 2, text("z"))), Packets {}); // chunk 3 of 2
    EXPECT_EQ(ask(text(":XP00A\r") + Bytes { 1 }), Packets {});
    const auto counters = enhanced->counters();
    EXPECT_EQ(counters.ignoredCommands, 2);
    EXPECT_EQ(counters.malformedCommands, 3);
    EXPECT_EQ(std::tuple(counters.announces, counters.chunkCommands, counters.doneReports),
        std::tuple(4, 4, 2));
    EXPECT_EQ(enhanced->announcements().front(),
        (std::pair<std::uint16_t, std::uint32_t>(voter.address, 9)));

    // ":VE" is answered by the radio firmware once, and the transport goes quiet.
    EXPECT_EQ(ask(text(":VE\r")), (Packets { OK }));
    EXPECT_EQ(enhanced->mode(), EnhancedMode::None);
    EXPECT_EQ(ask(announceAsync(ann.address, 8)), Packets {});
    EXPECT_EQ(enhanced->report(ann.uid)->messages.size(), 2u); // kept after the stop
}

TEST_F(EnhancedTest, AcknowledgementsOfLongMessagesWrap)
{
    enhanced->setParticipants({ ann.uid });
    EXPECT_EQ(ask(startAsync()), (Packets { OK, requestPacket(ann.address, 0, 0, 9) }));
    EXPECT_EQ(ask(announceAsync(ann.address, 3)), (Packets { OK, { 3, 0x85, 3 } }));
    // A short message reports from chunk 0.
    EXPECT_EQ(ask(chunkAsync(3, 2, 3, text("b"))),
        (Packets { OK, ackPacket(ann.address, 0, { 0x02 }), { 3, 0x85, 3 } }));

    // 70 chunks: from the first chunk missing, 56 of them, wrapping past the last.
    EXPECT_EQ(ask(announceAsync(ann.address, 4)), (Packets { OK }));
    const Bytes data(49, 'x');
    EXPECT_EQ(ask(chunkAsync(4, 1, 70, data)),
        (Packets { OK, ackPacket(ann.address, 1, {}), { 3, 0x85, 4 } }));
    for (std::uint8_t k = 2; k < 60; ++k)
        ask(chunkAsync(4, k, 70, data));
    // Chunks 0 to 59 held: chunks 60 to 69, then 0 to 45.
    EXPECT_EQ(ask(chunkAsync(4, 60, 70, data)),
        (Packets { OK, ackPacket(ann.address, 60, { 0x00, 0xFC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF }),
            { 3, 0x85, 4 } }));
    EXPECT_EQ(ask(chunkAsync(4, 62, 70, data)),
        (Packets { OK, ackPacket(ann.address, 60, { 0x02, 0xFC, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF }),
            { 3, 0x85, 4 } }));
    for (std::uint8_t k = 63; k <= 70; ++k)
        ask(chunkAsync(4, k, 70, data));
    // The last one missing, then all held: from 0.
    EXPECT_EQ(ask(chunkAsync(4, 61, 70, data)),
        (Packets { OK, ackPacket(ann.address, 0, Bytes(7, 0xFF)), { 3, 0x86, 4 } }));
    const auto report = enhanced->report(ann.uid);
    ASSERT_EQ(report->messages.size(), 1u);
    EXPECT_EQ(report->messages[0].bytes, Bytes(70 * 49, 'x'));
    EXPECT_EQ(report->chunkCommands, 71); // 1 of message 3, 70 of message 4
}

TEST_F(EnhancedTest, AsyncDeviceAsksAndAnswersEveryKind)
{
    enhanced->setParticipants({ ann.uid });
    std::vector<std::pair<int, int>> asked;
    enhanced->setAnswerSource([&asked](const EmulatedDevice& device,
                                  const EnhancedQuestionInfo& q) -> std::optional<std::string> {
        asked.emplace_back(int(device.uid), q.number);
        switch (q.kind) {
        case QuestionInfo::MultipleChoice:
            return "BD";
        case QuestionInfo::YesNo:
            return "B";
        case QuestionInfo::TrueFalse:
            return "C";
        case QuestionInfo::Likert:
            return "4";
        case QuestionInfo::Numeric:
            return "3.14";
        case QuestionInfo::Text:
            return "\\frac{1}{2}";
        default:
            return "CAB";
        }
    });
    const std::uint16_t a = ann.address;
    EXPECT_EQ(ask(startAsync()), (Packets { OK, requestPacket(a, 0, 0, 9) }));

    // Seven questions from number 3, with a mask and a last parameter.
    Packets sent = sendAsync(a, 1, parameters(7, 0x07, 3, { 0xFF }, 0x2A));
    EXPECT_EQ(sent,
        (Packets { OK, { 3, 0x85, 1 }, OK, ackPacket(a, 0, { 1 }), { 3, 0x86, 1 },
            requestPacket(a, 1, 3, 0) }));
    auto report = enhanced->report(ann.uid);
    ASSERT_TRUE(report->parameters);
    EXPECT_EQ(std::tuple(report->parameters->totalQuestions, report->parameters->firstQuestion(),
                  report->parameters->mask, report->parameters->lastParameter),
        std::tuple(7, 3, Bytes { 0xFF }, 0x2A));

    const auto piece = [a](std::uint8_t kind, std::uint8_t index, Bytes bytes) {
        bytes.resize(8, 0);
        return Bytes { 13, kind } + big(a, 2) + Bytes { index } + bytes;
    };
    const std::string longPrompt(60, '?'); // two chunks
    const std::vector<std::tuple<std::uint8_t, std::uint8_t, Bytes, Packets>> cases {
        { 1, 0x86, text("A"), { piece(0x87, 1, text("BD")) } },
        { 2, 0, text("A"), { piece(0x87, 1, text("B")) } },
        { 3, 1, text("B"), { piece(0x87, 1, text("C")) } },
        { 4, 5, { 3 }, { piece(0x87, 1, { 4 }) } },
        { 5, 40, text("3.1"), { piece(0x87, 1, text("3.14")) } },
        { 6, 40, text("\\frac{1}{2}"),
            { piece(0x87, 2, text("\\frac{1}")), piece(0x88, 1, text("{2}")) } },
        { 7, 0x86, text("ABC"), { piece(0x87, 1, text("CAB")) } },
    };
    std::uint8_t number = 3;
    for (const auto& [kind, display, correct, answer] : cases) {
        const std::string prompt = kind == 6 ? longPrompt : "Q" + std::to_string(kind);
        sent = sendAsync(
            a, std::uint8_t(number + 10), question(number, kind, display, 0x09, prompt, correct));
        Packets expected = answer;
        if (number < 9)
            expected.push_back(requestPacket(a, 1, std::uint8_t(number + 1), 0));
        EXPECT_EQ(ofKinds(sent, { 0x84, 0x87, 0x88 }), expected) << int(kind);
        EXPECT_EQ(ofKinds(sent, { 0x86 }), (Packets { { 3, 0x86, std::uint8_t(number + 10) } }));
        ++number;
    }
    ASSERT_TRUE(enhanced->waitUntilFinished(2s));
    report = enhanced->report(ann.uid);
    ASSERT_EQ(report->questions.size(), 7u);
    const EnhancedQuestionInfo& text6 = report->questions[5];
    EXPECT_EQ(std::tuple(text6.number, text6.kind, text6.display, text6.flags, text6.text),
        std::tuple(8, 6, 40, 9, longPrompt));
    EXPECT_EQ(text6.correct, text("\\frac{1}{2}"));
    EXPECT_EQ(report->questions[3].correct, Bytes { 3 });
    EXPECT_EQ(report->questions[0].optionCount(), 4);
    ASSERT_EQ(report->answers.size(), 7u);
    EXPECT_EQ(report->answers[0].bytes, (Bytes { 'B', 'D', 0, 0 }));
    EXPECT_EQ(
        std::tuple(report->answers[3].questionNumber, report->answers[3].kind), std::tuple(6, 4));
    EXPECT_TRUE(report->finished);
    EXPECT_EQ(asked.size(), 7u);
    EXPECT_EQ(asked.back(), (std::pair<int, int>(int(ann.uid), 9)));
}

// A device reads a question only when its length counts exactly its bytes: 8, the text and the
// answer, which for a Likert question is one byte, 0 when there is no correct value.
TEST_F(EnhancedTest, QuestionsWhoseLengthDisagreesAreRefused)
{
    enhanced->setParticipants({ ann.uid });
    const std::uint16_t a = ann.address;
    EXPECT_EQ(ask(startAsync()), (Packets { OK, requestPacket(a, 0, 0, 9) }));
    Packets sent = sendAsync(a, 1, parameters(3, 0x01, 1, {}, 0));
    EXPECT_EQ(ofKinds(sent, { 0x84 }), (Packets { requestPacket(a, 1, 1, 0) }));

    // Likert, scale 5, no correct value: the length counts an answer byte that is missing.
    const Bytes likert
        = Bytes { 0x02 } + big(13, 2) + Bytes { 1, 4, 5, 0 } + big(4, 2) + big(0, 2) + text("Rate");
    sent = sendAsync(a, 2, likert);
    EXPECT_EQ(ofKinds(sent, { 0x84, 0x87, 0x88 }), Packets {});
    // Numeric: the fields add up to 9, but 10 bytes follow the length.
    const Bytes numeric = Bytes { 0x02 } + big(9, 2) + Bytes { 1, 5, 9, 0 } + big(0, 2) + big(1, 2)
        + text("7") + Bytes { 0 };
    sent = sendAsync(a, 3, numeric);
    EXPECT_EQ(ofKinds(sent, { 0x84, 0x87, 0x88 }), Packets {});
    auto report = enhanced->report(ann.uid);
    EXPECT_EQ(report->questionsRefused, 2);
    EXPECT_TRUE(report->questions.empty());

    // With the byte the Likert question is read and answered (by default with value 1).
    sent = sendAsync(a, 4, likert + Bytes { 0 });
    const Bytes answer = Bytes { 13, 0x87 } + big(a, 2) + Bytes { 1, 1, 0, 0, 0, 0, 0, 0, 0 };
    EXPECT_EQ(ofKinds(sent, { 0x84, 0x87, 0x88 }), (Packets { answer, requestPacket(a, 1, 2, 0) }));
    report = enhanced->report(ann.uid);
    ASSERT_EQ(report->questions.size(), 1u);
    EXPECT_EQ(report->questions[0].text, "Rate");
    EXPECT_EQ(report->questions[0].correct, Bytes { 0 });
    EXPECT_EQ(report->questionsRefused, 2);
}

TEST_F(EnhancedTest, DefaultAnswersShutDownAndNoMoreQuestions)
{
    const auto carl = EmulatedDevice::expression(0xA003, 0x0204, "Carl");
    radio->addDevice(carl);
    enhanced->setShutDownAfter(ann.uid, 1);
    ask(startAsync());
    const Bytes params = parameters(3, 0, 5, {}, 0); // no starting number: from 0
    EXPECT_EQ(ofKinds(sendAsync(ann.address, 1, params), { 0x84 }),
        (Packets { requestPacket(ann.address, 1, 0, 0) }));
    EXPECT_EQ(ofKinds(sendAsync(bob.address, 2, params), { 0x84 }),
        (Packets { requestPacket(bob.address, 1, 0, 0) }));
    EXPECT_EQ(ofKinds(sendAsync(carl.address, 3, params), { 0x84 }),
        (Packets { requestPacket(carl.address, 1, 0, 0) }));

    // Ann answers by default and shuts down after her first answer.
    const Bytes sort = question(0, 7, (5 << 5) | (1 << 2), 0, "Order", text("ABCDE"));
    EXPECT_EQ(ofKinds(sendAsync(ann.address, 4, sort), { 0x84, 0x87 }),
        (Packets { { 13, 0x87, 2, 1, 1, 'A', 'B', 'C', 'D', 'E', 0, 0, 0 },
            requestPacket(ann.address, 0xFF, 0, 0) }));
    EXPECT_TRUE(enhanced->report(ann.uid)->shutDown);
    EXPECT_TRUE(enhanced->report(ann.uid)->finished);

    // Bob is told there is nothing more; a message and a pop-up are only kept.
    EXPECT_EQ(ofKinds(sendAsync(bob.address, 5, Bytes { 0x03, 0, 2, 1, 'M' }), { 0x84, 0x87 }),
        Packets {});
    EXPECT_EQ(ofKinds(sendAsync(bob.address, 6, Bytes { 0x05, 0, 0 }), { 0x84, 0x87 }), Packets {});
    EXPECT_FALSE(enhanced->report(bob.uid)->finished);
    EXPECT_EQ(
        ofKinds(sendAsync(bob.address, 7, Bytes { 0x04, 0, 3, 'E', 'n', 'd' }), { 0x84, 0x87 }),
        Packets {});
    auto report = enhanced->report(bob.uid);
    EXPECT_TRUE(report->finished && report->noMoreQuestions && !report->shutDown);
    EXPECT_EQ(report->messages.size(), 4u);
    EXPECT_EQ(report->messages[1].bytes, (Bytes { 0x03, 0, 2, 1, 'M' }));

    // Carl is told to shut down by the test.
    EXPECT_FALSE(enhanced->waitUntilFinished(0ms));
    EXPECT_TRUE(enhanced->shutDown(carl.uid));
    EXPECT_EQ(take(), (Packets { requestPacket(carl.address, 0xFF, 0, 0) }));
    EXPECT_TRUE(enhanced->waitUntilFinished(2s));
    EXPECT_FALSE(enhanced->shutDown(voter.uid)); // takes no part
    EXPECT_FALSE(enhanced->sendControl(carl.uid, 2)); // not in generic mode
    // A device message on the test's word, in async pieces.
    EXPECT_TRUE(enhanced->sendDeviceMessage(carl.uid, text("123456789")));
    EXPECT_EQ(take(),
        (Packets { { 13, 0x87, 2, 4, 2, '1', '2', '3', '4', '5', '6', '7', '8' },
            { 13, 0x88, 2, 4, 1, '9', 0, 0, 0, 0, 0, 0, 0 } }));
}

TEST_F(EnhancedTest, GenericDeviceFetchesDescriptionAndFilesAndAnswers)
{
    enhanced->setParticipants({ bob.uid });
    enhanced->setGenericAnswerSource(
        [](const EmulatedDevice&, const Bytes& message) -> std::optional<Bytes> {
            if (message == text("Q1?"))
                return Bytes { 0x02, 0x00, 0x07, 'A' };
            return std::nullopt;
        });
    const std::uint16_t b = bob.address;
    EXPECT_EQ(ask(startGeneric()), (Packets { OK, controlPacket(b, { 1 }) }));
    EXPECT_EQ(enhanced->mode(), EnhancedMode::Generic);
    // A host message in the description's place: kept, let go, and the description asked again.
    EXPECT_EQ(ask(announceGeneric(b, 5)), (Packets { OK, { 2, 0x95 } }));
    EXPECT_EQ(ask(chunkGeneric(5, 0, 1, { 0, 0, 0, 'H' })),
        (Packets { OK, ackPacket(b, 0, { 1 }), controlPacket(b, { 6, 0, 0, 5 }),
            controlPacket(b, { 1 }) }));

    const std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?><session type=\"M\"><files>"
                            "<file type=\"IM\" id=\"0f8fad5b-d9cb-469f-a165-70867728950e\" "
                            "fid=\"2\"><size>5</size></file><file type=\"XM\" "
                            "id=\"7c9e6679-7425-40de-944b-e07fc1f90ae7\" fid=\"3\"><size>60</size>"
                            "</file></files></session>";
    const Bytes description = Bytes { 0x01 } + text(xml);
    const auto count = std::uint16_t((description.size() + 49) / 50);
    EXPECT_EQ(ask(announceGeneric(b, 1)), (Packets { OK, { 2, 0x95 } }));
    for (std::uint16_t i = 0; i < count; ++i) {
        const auto from = description.begin() + 50 * i;
        const Bytes data(from, from + std::min<std::ptrdiff_t>(50, description.end() - from));
        const Packets packets = ask(chunkGeneric(1, i, count, data));
        const Bytes bitmap { std::uint8_t((1u << (i + 1)) - 1) };
        if (i + 1 < count) {
            EXPECT_EQ(packets, (Packets { OK, ackPacket(b, 0, bitmap), { 2, 0x95 } }));
        } else {
            EXPECT_EQ(packets,
                (Packets { OK, ackPacket(b, 0, bitmap), controlPacket(b, { 6, 0, 0, 1 }),
                    controlPacket(b, { 4, 0, 0, 2 }) }));
        }
    }
    auto report = enhanced->report(bob.uid);
    EXPECT_EQ(report->description, xml);
    ASSERT_EQ(report->files.size(), 2u);
    EXPECT_EQ(std::tuple(report->files[0].fid, report->files[0].size, report->files[0].type,
                  report->files[0].id),
        std::tuple(2u, 5u, "IM", "0f8fad5b-d9cb-469f-a165-70867728950e"));
    EXPECT_EQ(std::tuple(report->files[1].fid, report->files[1].size), std::tuple(3u, 60u));

    // The files, one after another; the padding is cut by their listed sizes.
    EXPECT_EQ(ask(announceGeneric(b, 2)), (Packets { OK, { 2, 0x95 } }));
    EXPECT_EQ(ask(chunkGeneric(2, 0, 1, { 3, 'a', 'b', 'c', 'd' })),
        (Packets { OK, ackPacket(b, 0, { 1 }), controlPacket(b, { 6, 0, 0, 2 }),
            controlPacket(b, { 4, 0, 0, 3 }) }));
    const Bytes xmlFile = Bytes { 1 } + Bytes(59, 'f');
    EXPECT_EQ(ask(announceGeneric(b, 3)), (Packets { OK, { 2, 0x95 } }));
    EXPECT_EQ(ask(chunkGeneric(3, 1, 2, Bytes(xmlFile.begin() + 50, xmlFile.end()))),
        (Packets { OK, ackPacket(b, 0, { 2 }), { 2, 0x95 } }));
    EXPECT_FALSE(enhanced->waitUntilFinished(0ms));
    EXPECT_EQ(ask(chunkGeneric(3, 0, 2, Bytes(xmlFile.begin(), xmlFile.begin() + 50))),
        (Packets { OK, ackPacket(b, 0, { 3 }), controlPacket(b, { 6, 0, 0, 3 }) }));
    EXPECT_TRUE(enhanced->waitUntilFinished(2s));
    report = enhanced->report(bob.uid);
    EXPECT_EQ(report->fileContents.at(2), (Bytes { 3, 'a', 'b', 'c', 'd' }));
    EXPECT_EQ(report->fileContents.at(3), xmlFile);

    // A host message carries its length minus one; the answer source answers it.
    EXPECT_EQ(ask(announceGeneric(b, 0x010203)), (Packets { OK, { 2, 0x95 } }));
    EXPECT_EQ(ask(chunkGeneric(0x010203, 0, 1, { 0, 0, 2, 'Q', '1', '?' })),
        (Packets { OK, ackPacket(b, 0, { 1 }), controlPacket(b, { 6, 1, 2, 3 }),
            { 13, 0x96, 2, 2, 0, 0, 1, 0, 0, 4, 0, 0, 0 },
            { 13, 0x92, 2, 2, 0, 0x02, 0x00, 0x07, 'A', 0, 0, 0, 0 } }));
    report = enhanced->report(bob.uid);
    ASSERT_EQ(report->messages.size(), 2u);
    EXPECT_EQ(report->messages[0].bytes, text("H"));
    EXPECT_EQ(std::tuple(report->messages[1].number, report->messages[1].bytes),
        std::tuple(0x010203u, text("Q1?")));

    // Control messages and device messages on the test's word.
    EXPECT_TRUE(enhanced->sendControl(bob.uid, 3, 300));
    EXPECT_TRUE(enhanced->sendControl(bob.uid, 2));
    EXPECT_TRUE(enhanced->sendDeviceMessage(bob.uid, text("0123456789")));
    EXPECT_EQ(take(),
        (Packets { controlPacket(b, { 3, 0x01, 0x2C }), controlPacket(b, { 2 }),
            { 13, 0x96, 2, 2, 0, 0, 2, 0, 0, 10, 0, 0, 0 },
            { 13, 0x92, 2, 2, 0, '0', '1', '2', '3', '4', '5', '6', '7' },
            { 13, 0x92, 2, 2, 1, '8', '9', 0, 0, 0, 0, 0, 0 } }));
    // Kind 5 lets go of the message being received: nothing is requested for it any more.
    EXPECT_EQ(ask(announceGeneric(b, 9)), (Packets { OK, { 2, 0x95 } }));
    EXPECT_TRUE(enhanced->sendControl(bob.uid, 5));
    EXPECT_EQ(take(), (Packets { controlPacket(b, { 5 }) }));
    EXPECT_EQ(ask(chunkGeneric(9, 0, 2, text("x"))), (Packets { OK }));
    EXPECT_EQ(ask(chunkAsync(9, 1, 1, text("x"))), Packets {}); // the other mode
    EXPECT_EQ(ask(text(":VE\r")), (Packets { OK }));
    EXPECT_FALSE(enhanced->sendControl(bob.uid, 2));
}

TEST_F(EnhancedTest, LossesDropChunksAndAcknowledgements)
{
    enhanced->setParticipants({ ann.uid });
    ask(startAsync());
    enhanced->setLoss(1.0, 0.0);
    EXPECT_EQ(ask(announceAsync(ann.address, 2)), (Packets { OK, { 3, 0x85, 2 } }));
    // Lost on the way: no acknowledgement, the hub asks again.
    EXPECT_EQ(ask(chunkAsync(2, 1, 1, text("a"))), (Packets { OK, { 3, 0x85, 2 } }));
    // Received, but the acknowledgement is lost: the hub still knows the message arrived.
    enhanced->setLoss(0.0, 1.0);
    EXPECT_EQ(ask(chunkAsync(2, 1, 1, text("a"))), (Packets { OK, { 3, 0x86, 2 } }));
    auto report = enhanced->report(ann.uid);
    EXPECT_EQ(
        std::tuple(report->chunksLost, report->acksLost, report->acksSent), std::tuple(1, 1, 0));

    // A message nobody gets any closer to is dropped after 3 x 1 + 10 idle chunks.
    enhanced->setLoss(1.0, 0.0);
    EXPECT_EQ(ask(announceAsync(ann.address, 3)), (Packets { OK, { 3, 0x85, 3 } }));
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(ask(chunkAsync(3, 1, 1, text("b"))), (Packets { OK, { 3, 0x85, 3 } })) << i;
    EXPECT_EQ(ask(chunkAsync(3, 1, 1, text("b"))), (Packets { OK }));
    EXPECT_EQ(enhanced->counters().abandonedMessages, 1);
}

// Pieces of device messages on a faulty radio: swapped neighbours trade places, a repeat comes
// later among the same message's pieces, a lost piece comes again after the others; the
// device's next request follows them all.
TEST_F(EnhancedTest, PieceFaultsSwapRepeatAndDelayPieces)
{
    enhanced->setParticipants({ ann.uid });
    enhanced->setAnswerSource([](const EmulatedDevice&, const EnhancedQuestionInfo&) {
        return std::optional<std::string>("aaaaaaaabbbbbbbbccccccccddddddddeeeeeeee");
    });
    const std::uint16_t a = ann.address;
    ask(startAsync());
    sendAsync(a, 1, parameters(3, 0x01, 1, {}, 0));
    const auto piece = [a](std::uint8_t kind, std::uint8_t value, char fill) {
        return Bytes { 13, kind } + big(a, 2) + Bytes { value } + Bytes(8, std::uint8_t(fill));
    };
    const Packets clean { piece(0x87, 5, 'a'), piece(0x88, 1, 'b'), piece(0x88, 2, 'c'),
        piece(0x88, 3, 'd'), piece(0x88, 4, 'e') };
    const auto answerTo = [&](std::uint8_t number) {
        return ofKinds(sendAsync(a, std::uint8_t(number + 1), question(number, 5, 40, 0, "Q", {})),
            { 0x84, 0x87, 0x88 });
    };

    enhanced->setPieceFaults(0, 0, 1.0);
    EXPECT_EQ(answerTo(1),
        (Packets { clean[1], clean[0], clean[3], clean[2], clean[4], requestPacket(a, 1, 2, 0) }));

    enhanced->setPieceFaults(0, 1.0, 0);
    Packets heard = answerTo(2);
    ASSERT_EQ(heard.size(), 11u);
    EXPECT_EQ(heard.back(), requestPacket(a, 1, 3, 0));
    heard.pop_back();
    Packets firsts;
    for (const Bytes& packet : heard) {
        EXPECT_EQ(std::count(heard.begin(), heard.end(), packet), 2);
        if (std::find(firsts.begin(), firsts.end(), packet) == firsts.end())
            firsts.push_back(packet);
    }
    EXPECT_EQ(firsts, clean);

    enhanced->setPieceFaults(0.5, 0, 0);
    heard = answerTo(3); // the last question: no request follows
    std::sort(heard.begin(), heard.end());
    Packets sorted = clean;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(heard, sorted);

    const auto report = enhanced->report(ann.uid);
    EXPECT_EQ(std::tuple(report->piecesSwapped, report->piecesRepeated), std::tuple(2, 5));
    EXPECT_GT(report->piecesLost, 0);
    ASSERT_EQ(report->answers.size(), 3u);
    EXPECT_EQ(report->answers[2].bytes, text("aaaaaaaabbbbbbbbccccccccddddddddeeeeeeee"));
}

TEST_F(EnhancedTest, UnansweredRequestsAreRepeatedThenGivenUp)
{
    enhanced->setParticipants({ ann.uid, bob.uid });
    enhanced->setRequestRetry(10ms, 2);
    ask(startAsync());
    ASSERT_EQ(write(hub->handle(), announceAsync(ann.address, 6)), 11);
    const auto abandoned = [this] { return enhanced->counters().abandonedRequests == 1; };
    for (int i = 0; i < 2000 && !abandoned(); ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(abandoned());
    EXPECT_EQ(take(), (Packets { OK, { 3, 0x85, 6 }, { 3, 0x85, 6 }, { 3, 0x85, 6 } }));
    EXPECT_EQ(enhanced->counters().reRequests, 2);

    // The next announce asks again, going round the messages; a chunk command answers the
    // request, and the repeat timer is no packet the queue waits for.
    enhanced->setRequestRetry(60s, 3);
    EXPECT_EQ(ask(announceAsync(bob.address, 7)), (Packets { OK, { 3, 0x85, 7 } }));
    EXPECT_EQ(ask(chunkAsync(6, 1, 2, text("a"))),
        (Packets { OK, ackPacket(ann.address, 0, { 1 }), { 3, 0x85, 6 } }));
    EXPECT_EQ(enhanced->counters().reRequests, 2);

    // Without repeats the hub gives up after one interval, and the next announce asks again.
    enhanced->setRequestRetry(10ms, 0);
    EXPECT_EQ(ask(chunkAsync(7, 1, 2, text("b"))),
        (Packets { OK, ackPacket(bob.address, 0, { 1 }), { 3, 0x85, 7 } }));
    const auto gaveUpTwice = [this] { return enhanced->counters().abandonedRequests == 2; };
    for (int i = 0; i < 2000 && !gaveUpTwice(); ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(gaveUpTwice());
    EXPECT_EQ(ask(announceAsync(ann.address, 8)), (Packets { OK, { 3, 0x85, 8 } }));
    EXPECT_EQ(enhanced->counters().reRequests, 2);
    enhanced->setRequestRetry(60s, 3);
    EXPECT_EQ(ask(chunkAsync(8, 1, 1, text("c"))),
        (Packets { OK, ackPacket(ann.address, 0, { 1 }), { 3, 0x86, 8 }, { 3, 0x85, 7 } }));
    EXPECT_EQ(ask(text(":VE\r")), (Packets { OK })); // takes back the repeat timer
}

} // namespace
