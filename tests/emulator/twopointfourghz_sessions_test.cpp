// The 2.4 GHz hub's simulated learners, seen from the system's side: registration windows,
// teacher naming, questions, end-user naming, voting and PIN naming, byte for byte.
#include "emulator_test_support.h"

#include <map>
#include <set>
#include <string>

using namespace EmulatorTests;

namespace {

using TavioEmulator::EmulatedDevice;
using TavioEmulator::LearnerSession;
using TavioEmulator::QuestionInfo;
using TavioEmulator::TwoPointFourGHzFirmware;
using F = TwoPointFourGHzFirmware;

Bytes text(const std::string& command) { return Bytes(command.begin(), command.end()); }

template <class T>
std::vector<T> operator+(std::vector<T> head, const std::vector<T>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// ":XP005" with its block; text only for the types that carry it.
Bytes question(std::uint8_t type, std::uint8_t typeByte, const std::string& prompt = "")
{
    const bool carries = type == 5 || type == 6 || type == 8;
    const auto length = std::uint8_t(carries ? prompt.size() + 1 : 0);
    Bytes block { std::uint8_t(9 + length), 0x01, 0x33, 0x00, 0x85, type, typeByte, 0, length };
    if (carries)
        block = block + text(prompt) + Bytes { 0 };
    return text(":XP005\r") + block;
}

// A 12-byte answer packet of the device at 0x0201: 0C 83 02 01, then `tail` zero-padded.
Bytes answer(Bytes tail, std::uint16_t address = 0x0201)
{
    tail.resize(8, 0);
    return Bytes { 0x0C, 0x83, std::uint8_t(address >> 8), std::uint8_t(address) } + tail;
}

const Bytes OK { 0x04, 0x32, 0x4F, 0x4B };

const EmulatedDevice voter = EmulatedDevice::taviote(0x11223344, 0x5566, "Tom");
const EmulatedDevice slate = EmulatedDevice::slate(0x01020304, 0x0A0B, "SlateOne");
const EmulatedDevice expression = EmulatedDevice::expression(0xA001, 0x0201, "Ann");
const EmulatedDevice second = EmulatedDevice::expressionV2(0xA002, 0x0202, "Bob");

class TwoPointFourGHzSessionsTest : public EmulatorTest
{
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        hub = TavioEmulator::addTwoPointFourGHzHub(emu(), {}, firmware);
        ASSERT_NE(hub, nullptr);
        tavioSetCallback(hub->handle(), &PacketLog::callback, &log);
    }

    Packets ask(const Bytes& command)
    {
        EXPECT_EQ(write(hub->handle(), command), int(command.size()));
        EXPECT_TRUE(hub->waitUntilDelivered(500ms));
        const Packets all = log.bytes();
        const Packets fresh(all.begin() + std::ptrdiff_t(seen), all.end());
        seen = all.size();
        return fresh;
    }
    Packets ask(const std::string& command) { return ask(text(command)); }

    std::shared_ptr<F> firmware = std::make_shared<F>();
    TavioEmulator::EmulatedHub* hub = nullptr;
    PacketLog log;
    std::size_t seen = 0;
};

TEST_F(TwoPointFourGHzSessionsTest, RegistrationWindowsAdmitLearnersWithTheirPin)
{
    const auto late = EmulatedDevice::taviote(0x77, 0x0707, "Late");
    firmware->addWaitingLearner(voter, "ABC");
    firmware->addWaitingLearner(EmulatedDevice::taviote(0x99, 0x0909, "Other"), "XYZ");
    firmware->addWaitingLearner(slate, "ABC");
    firmware->addWaitingLearner(expression, "AB"); // keys A, B and nothing
    firmware->addWaitingLearner(second, std::string("AB\0", 3));

    EXPECT_EQ(ask(":VR0010203PQR\r"), Packets {}); // wrong PIN
    EXPECT_EQ(ask(":VR00102 03ABC\r"), Packets {}); // not a registration start
    EXPECT_EQ(ask(":VR0010203ABC\r"), (Packets { voter.record() }));
    EXPECT_EQ(ask(":GR06\r"), (Packets { voter.record(), OK }));
    auto start = firmware->lastRegistrationStart();
    ASSERT_TRUE(start);
    EXPECT_EQ(start->kind, EmulatedDevice::Kind::Taviote);
    EXPECT_EQ(std::tuple(start->p1, start->p2, start->p3, start->pin), std::tuple(1, 2, 3, "ABC"));
    EXPECT_EQ(firmware->session(), LearnerSession::Registration);
    EXPECT_EQ(ask(":VE\r"), (Packets { OK }));

    EXPECT_EQ(ask(":SR00125507ABC\r"), (Packets { slate.record() })); // p2 above 99
    start = firmware->lastRegistrationStart();
    EXPECT_EQ(std::tuple(start->p1, start->p2, start->p3), std::tuple(1, 255, 7));
    EXPECT_EQ(ask(":VE\r"), (Packets { OK }));
    EXPECT_EQ(ask(":SR10002507XYZ\r"), Packets {}); // p1 above 999
    start = firmware->lastRegistrationStart();
    EXPECT_EQ(std::tuple(start->p1, start->p2, start->p3), std::tuple(1000, 25, 7));

    const Bytes expressionStart = text(":XP001\r") + Bytes { 9, 1, 2, 3, 4, 'A', 'B', 0, 0x25 };
    EXPECT_EQ(ask(expressionStart), (Packets { expression.record(), second.record() }));
    start = firmware->lastRegistrationStart();
    EXPECT_EQ(std::tuple(start->kind, start->p1, start->namingByte),
        std::tuple(EmulatedDevice::Kind::Expression, 0x0102, 0x25));
    EXPECT_EQ(ask(":GR09\r"), (Packets { expression.record(), second.record(), OK }));

    // A window closed before a learner's delay is up leaves it waiting.
    firmware->addWaitingLearner(late, "LAT", 5s);
    EXPECT_EQ(write(hub->handle(), text(":VR0010203LAT\r")), 14);
    EXPECT_EQ(ask(":VE\r"), (Packets { OK }));
    ASSERT_EQ(firmware->waitingLearners().size(), 2u);
    EXPECT_EQ(firmware->waitingLearners()[1].uid, late.uid);
    EXPECT_EQ(firmware->devices().size(), 4u);
}

TEST_F(TwoPointFourGHzSessionsTest, TeacherNamingRenamesAndConfirms)
{
    firmware->addDevices({ voter, slate, expression, second });
    const auto renamed = [](EmulatedDevice device, const std::string& name) {
        device.name = name;
        return device.record();
    };
    EXPECT_EQ(ask(":VN\r"), Packets {});
    EXPECT_EQ(firmware->session(), LearnerSession::TavioteNaming);
    EXPECT_EQ(ask(":VN" + voter.identifierText() + std::string("Al\0\0\r", 5)),
        (Packets { renamed(voter, "Al") }));
    EXPECT_EQ(ask(":VN000000000000Nobo\r"), Packets {});
    EXPECT_EQ(ask(":NS" + slate.identifierText() + std::string("Slate Two\0\r", 11)),
        (Packets { renamed(slate, "Slate Two") }));
    EXPECT_EQ(firmware->session(), LearnerSession::SlateNaming);

    EXPECT_EQ(ask(":XP002\r"), (Packets { OK }));
    EXPECT_EQ(ask(":GI\r")[0][10], 0); // idle while naming expressions
    firmware->setSessionStateCode(LearnerSession::ExpressionNaming, 0x11);
    EXPECT_EQ(ask(":GI\r")[0][10], 0x11);
    const auto nameCommand = [](std::uint8_t low, const std::string& name) {
        std::string field = name;
        field.resize(14, '\0');
        return text(":XP003\r") + Bytes { 0x11, 0x02, low } + text(field);
    };
    EXPECT_EQ(ask(nameCommand(0x01, "Zo\xEB")),
        (Packets { { 0x04, 0x82, 0, 0 }, renamed(expression, "Zo\xEB") }));
    firmware->setExpressionNameStatus(1, 2);
    EXPECT_EQ(ask(nameCommand(0x02, "Fourteen chars+")),
        (Packets { { 0x04, 0x82, 1, 2 }, renamed(second, "Fourteen chars") }));
    EXPECT_EQ(ask(nameCommand(0x09, "Nobody")), (Packets { { 0x04, 0x82, 0xFF, 0xFF } }));
    EXPECT_EQ(firmware->devices()[2].name, "Zo\xEB");
    EXPECT_EQ(ask(":VE\r"), (Packets { OK }));
    EXPECT_EQ(firmware->session(), LearnerSession::None);
}

TEST_F(TwoPointFourGHzSessionsTest, ShortAnswersPerQuestionType)
{
    firmware->addDevices({ voter, expression, second }); // the Taviote does not answer
    firmware->setAnswer(expression.uid, "AC");
    EXPECT_EQ(ask(question(1, 0xCA)),
        (Packets { answer({ 0, 0x33, 'A', 'C' }), answer({ 0, 0x33, 'A' }, 0x0202) }));
    const auto asked = firmware->lastQuestion();
    ASSERT_TRUE(asked);
    EXPECT_EQ(std::tuple(asked->optionCount(), asked->responseCount(), asked->displayCode()),
        std::tuple(6, 2, 2));
    EXPECT_EQ(asked->timeByte, 0x85);
    EXPECT_EQ(ask(":VE\r"), (Packets { OK }));

    const std::vector<std::tuple<std::uint8_t, std::uint8_t, std::string, Bytes, Bytes>> cases {
        { 2, 1, "B", { 0, 0x33, 'B' }, { 0, 0x33, 'A' } }, // yes/no
        { 3, 0, "C", { 0, 0x33, 'C' }, { 0, 0x33, 'A' } }, // true/false, third answer
        { 4, 5, "3", { 0, 0x33, 3 }, { 0, 0x33, 1 } }, // Likert
        { 8, 0, "\x07", { 0, 0x33, 7 }, { 0, 0x33, 'A' } }, // message read receipt
        { 7, 0x90, std::string("CA\0B", 4), { 0, 0x33, 'C', 'A', 0, 'B' },
            { 0, 0x33, 'A', 'B', 'C', 'D' } }, // sort in order, 4 options
    };
    for (const auto& [type, typeByte, fixed, first, other] : cases) {
        firmware->setAnswer(expression.uid, fixed);
        EXPECT_EQ(ask(question(type, typeByte)), (Packets { answer(first), answer(other, 0x0202) }))
            << int(type);
        EXPECT_EQ(ask(":VE\r"), (Packets { OK }));
    }
}

TEST_F(TwoPointFourGHzSessionsTest, LongAnswersAreCutIntoSequences)
{
    firmware->addDevices({ expression, second });
    firmware->setAnswer(expression.uid, "Hello, world!"); // 13 bytes: 5 + 7 + 1
    firmware->setAnswer(second.uid, "\xCF\x80=3"); // UTF-8, fits the first packet
    const Packets helloWorld { answer({ 0, 0x33, 13, 'H', 'e', 'l', 'l', 'o' }),
        answer({ 1, ',', ' ', 'w', 'o', 'r', 'l', 'd' }), answer({ 2, '!' }) };
    const Bytes pi = answer({ 0, 0x33, 4, 0xCF, 0x80, '=', '3' }, 0x0202);
    EXPECT_EQ(ask(question(6, 40, "Why?")), helloWorld + Packets { pi });
    EXPECT_EQ(firmware->lastQuestion()->text, "Why?");
    EXPECT_EQ(ask(":VE\r"), (Packets { OK }));

    // Packet by packet when interleaved; the number byte as set.
    firmware->setAnswer(second.uid, "Hello, world!");
    firmware->setInterleavedAnswers(true, 1ms);
    firmware->setAnswerNumberByte(7);
    Packets interleaved;
    for (std::size_t i = 0; i < 3; ++i) {
        Bytes mine = helloWorld[i];
        if (i == 0)
            mine[5] = 7;
        interleaved.push_back(mine);
        interleaved.push_back(answer(Bytes(mine.begin() + 4, mine.end()), 0x0202));
    }
    EXPECT_EQ(ask(question(5, 40, "How many?")), interleaved);

    // Incomplete answers: the last packets stay away.
    firmware->setInterleavedAnswers(false);
    firmware->dropLastAnswerPackets(2, expression.uid);
    firmware->dropLastAnswerPackets(5);
    EXPECT_EQ(ask(question(5, 40, "Again")), (Packets { interleaved[0] }));
    const auto sequence = F::longAnswerPackets(1, 0, std::string(300, 'x'));
    ASSERT_EQ(sequence.size(), 37u); // 255 bytes at most
    EXPECT_EQ(sequence[0][6], 255);
    EXPECT_EQ(sequence.back(), (Bytes { 12, 0x83, 0, 1, 36, 'x', 'x', 'x', 'x', 'x', 0, 0 }));
}

TEST_F(TwoPointFourGHzSessionsTest, AnswerSourceSilenceDelaysAndStops)
{
    firmware->addDevices({ voter, expression, second });
    firmware->setAnswerSource(
        [](const EmulatedDevice& device, const QuestionInfo& asked) -> std::optional<std::string> {
            if (device.uid == expression.uid)
                return std::nullopt;
            return asked.type == QuestionInfo::YesNo ? "B" : "?";
        });
    firmware->setAnsweringKinds({ EmulatedDevice::Kind::Taviote, EmulatedDevice::Kind::Expression,
        EmulatedDevice::Kind::ExpressionV2 });
    EXPECT_EQ(ask(question(2, 0)),
        (Packets { answer({ 0, 0x33, 'B' }, 0x5566), answer({ 0, 0x33, 'B' }, 0x0202) }));

    // The session's end takes back what was not sent yet: nothing waits for the delay.
    firmware->setResponseDelay(5s, 5s);
    EXPECT_EQ(write(hub->handle(), question(2, 0)), 16);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ask(":VE\r"), (Packets { OK }));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);

    // Silence by chance repeats itself with the same seed.
    firmware->setResponseDelay(0ms, 0ms);
    for (std::uint32_t i = 0; i < 40; ++i)
        firmware->addDevice(
            EmulatedDevice::expressionV2(0xB000 + i, std::uint16_t(0x300 + i), "L"));
    std::vector<std::uint32_t> runs[2];
    for (auto& responders : runs) {
        firmware->setSilenceChance(0.5, 42);
        ask(question(2, 0));
        responders = firmware->lastResponders();
    }
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_GT(runs[0].size(), 5u);
    EXPECT_LT(runs[0].size(), 36u);
    firmware->setSilenceChance(1.0);
    EXPECT_EQ(ask(question(2, 0)), Packets {});

    // A stop that stays unanswered, whatever the other faults.
    firmware->dropNextStopAnswers();
    EXPECT_EQ(ask(":VE\r"), Packets {});
    EXPECT_EQ(firmware->session(), LearnerSession::None);
    EXPECT_EQ(ask(":VE\r"), (Packets { OK }));
}

TEST_F(TwoPointFourGHzSessionsTest, EndUserNamingSendsTypedNames)
{
    firmware->addDevices({ expression, second });
    firmware->setAnswer(expression.uid, "Zo\xEB the learner");
    auto typed = expression;
    typed.name = "Zo\xEB the learne"; // cut to 14 bytes
    EXPECT_EQ(ask(question(9, 0x2E)), (Packets { typed.record(), second.record() }));
    EXPECT_EQ(firmware->session(), LearnerSession::EndUserNaming);
    EXPECT_EQ(firmware->devices()[0].name, typed.name);
    EXPECT_EQ(ask(":XP004\r"), (Packets { OK }));
    EXPECT_EQ(firmware->session(), LearnerSession::None);
}

TEST_F(TwoPointFourGHzSessionsTest, VotingAndPinNaming)
{
    const auto other = EmulatedDevice::taviote(0x01020304, 0x0506, "Two");
    const auto third = EmulatedDevice::taviote(0x0A0B0C0D, 0x0E0F, "Tri");
    firmware->addDevices({ voter, other, third, expression });
    firmware->setVote(other.uid, 0x03); // two keys
    firmware->setVote(third.uid, F::voteKey(6), true); // by uid
    EXPECT_EQ(ask(":VB\r"),
        (Packets { { 9, 0x65, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x01 },
            { 9, 0x65, 1, 2, 3, 4, 5, 6, 0x03 }, { 9, 0x65, 10, 11, 12, 13, 0, 0, 0x20 } }));
    EXPECT_EQ(ask(":VE\r"), (Packets { OK }));
    firmware->setVoters({ third.uid, expression.uid });
    EXPECT_EQ(ask(":VM\r"), (Packets { F::votePacket(third.uid, 0, 0x20) }));

    firmware->setPinName(voter.uid, "ABCD");
    firmware->setPinName(third.uid, "a");
    EXPECT_EQ(ask(":VZ12\r"),
        (Packets { { 11, 0x67, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x02, 0x9C, 0 },
            { 11, 0x67, 10, 11, 12, 13, 14, 15, 0x02, 0x00, 0 } }));
    EXPECT_EQ(firmware->lastPinNamingArgument(), 12);
    EXPECT_EQ(firmware->session(), LearnerSession::PinNaming);
    EXPECT_EQ(F::pinNameBytes("    "), (std::array<std::uint8_t, 2> { 0x0F, 0xFF }));
    EXPECT_EQ(F::pinNameBytes(1, 7, 0, 6), (std::array<std::uint8_t, 2> { 0x03, 0xC6 }));
    EXPECT_EQ(F::voteKey(0), 0);
}

TEST_F(TwoPointFourGHzSessionsTest, HundredLearnersAnswerOnceEach)
{
    for (std::uint32_t i = 0; i < 100; ++i) {
        firmware->addDevice(EmulatedDevice::expression(0xC000 + i, std::uint16_t(0x100 + i), "L"));
        firmware->setAnswer(0xC000 + i, "learner " + std::to_string(i));
    }
    firmware->setResponseDelay(0ms, 20ms);
    firmware->setInterleavedAnswers(true);
    // Configuration changes while the answers go out.
    std::thread changer([this] {
        for (int i = 0; i < 50; ++i)
            firmware->setAnswerNumberByte(std::uint8_t(i));
    });
    ASSERT_EQ(write(hub->handle(), question(6, 40, "Name?")), 16 + 6);
    changer.join();
    ASSERT_TRUE(hub->waitUntilDelivered(500ms)); // every answer is queued by now

    std::map<std::uint16_t, std::string> answers;
    std::set<std::pair<std::uint16_t, int>> seenSequences;
    bool interleaved = false;
    std::uint16_t previous = 0;
    for (const Bytes& packet : log.bytes()) {
        ASSERT_EQ(packet.size(), 12u);
        const auto address = std::uint16_t(packet[2] << 8 | packet[3]);
        EXPECT_TRUE(seenSequences.insert({ address, packet[4] }).second);
        const std::size_t at = packet[4] == 0 ? 7 : 5;
        answers[address].append(packet.begin() + std::ptrdiff_t(at), packet.end());
        interleaved = interleaved || (packet[4] == 1 && previous != address);
        previous = address;
    }
    EXPECT_EQ(log.bytes().size(), 200u);
    EXPECT_TRUE(interleaved);
    ASSERT_EQ(answers.size(), 100u);
    for (const auto& [address, received] : answers) {
        const std::string expected = "learner " + std::to_string(address - 0x100);
        EXPECT_EQ(received.substr(0, received.find('\0')), expected);
    }
}

} // namespace
