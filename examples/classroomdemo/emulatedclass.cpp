#include "emulatedclass.h"

#include <tavioemulator/emulator.h>
#include <tavioemulator/enhancedfirmware.h>
#include <tavioemulator/twopointfourghzfirmware.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <optional>
#include <random>

namespace ClassroomDemo {

namespace {

using TavioEmulator::EmulatedDevice;
using TavioEmulator::EnhancedFirmware;
using TavioEmulator::EnhancedQuestionInfo;
using TavioEmulator::QuestionInfo;
using TavioEmulator::TwoPointFourGHzFirmware;
using TavioEmulator::VirtualTwoPointFourGHzFirmware;
using Random = std::mt19937;

const char* const FirstNames[] = { "Ada", "Ben", "Chloe", "Dev", "Ella", "Finn", "Grace", "Hugo",
    "Isla", "Jack", "Kira", "Leo", "Maya", "Noah", "Olive", "Priya", "Quinn", "Ravi", "Sofia",
    "Theo", "Uma", "Vik", "Willow", "Xander", "Yara", "Zane", "Amir", "Bea", "Cal", "Dina", "Eli",
    "Fay", "Gus", "Hana", "Ivan", "Jade", "Kai", "Lena", "Milo", "Nia" };
const int FirstNameCount = int(std::size(FirstNames));

// "Ada", ..., "Nia", then "Ada 2", ...: at most 14 bytes, as expression devices keep them.
QString learnerName(int index)
{
    QString name = QLatin1String(FirstNames[index % FirstNameCount]);
    if (index >= FirstNameCount)
        name += QStringLiteral(" %1").arg(index / FirstNameCount + 1);
    return name;
}

std::string answerLetter(const QString& answer)
{
    if (answer == QLatin1String("yes") || answer == QLatin1String("true"))
        return "A";
    if (answer == QLatin1String("no") || answer == QLatin1String("false"))
        return "B";
    return "C";
}

double chance(Random& random) { return std::uniform_real_distribution<double>(0.0, 1.0)(random); }

int pick(Random& random, int count)
{
    return std::uniform_int_distribution<int>(0, count - 1)(random);
}

// The text with one of its digits changed: a slip in working something out.
QString changeOneDigit(const QString& text, Random& random)
{
    std::vector<int> digits;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isDigit())
            digits.push_back(i);
    }
    if (digits.empty())
        return text + QStringLiteral("?");
    QString changed = text;
    const int at = digits[std::size_t(pick(random, int(digits.size())))];
    // Another digit from 1 to 9 (a slip, not a zero that would make nonsense of a fraction).
    const int old = text.at(at).digitValue();
    int digit = 1 + pick(random, 8);
    if (digit >= old)
        ++digit;
    changed[at] = QChar(u'0' + char16_t(digit));
    return changed;
}

// Option letters: the expected ones when the learner knows them, otherwise a guess.
QString choiceAnswer(const Question& question, const Learner& learner, Random& random)
{
    const QString& expected = question.expected;
    if (!expected.isEmpty() && chance(random) < learner.skill)
        return expected;
    const bool sorting = question.type == QuestionType::SortInOrder;
    if (sorting && !expected.isEmpty() && expected.size() > 1 && chance(random) < 0.5) {
        // Nearly right: two neighbours the wrong way round.
        QString answer = expected;
        const int at = pick(random, int(answer.size()) - 1);
        std::swap(answer[at], answer[at + 1]);
        return answer;
    }
    QString letters = QStringLiteral("ABCDEF").left(question.options);
    QString answer;
    for (int attempt = 0; attempt < 8 && (answer.isEmpty() || answer == expected); ++attempt) {
        std::shuffle(letters.begin(), letters.end(), random);
        answer = letters.left(question.responses);
        if (!sorting)
            std::sort(answer.begin(), answer.end());
    }
    return answer;
}

// "yes", "no" or "unsure" (true/false questions: "true", "false", "unsure").
QString binaryAnswer(const Question& question, const Learner& learner, Random& random)
{
    const bool yesNo = question.type == QuestionType::YesNo;
    const QString positive = yesNo ? QStringLiteral("yes") : QStringLiteral("true");
    const QString negative = yesNo ? QStringLiteral("no") : QStringLiteral("false");
    const QString& expected = question.expected;
    if (!expected.isEmpty() && chance(random) < learner.skill)
        return expected;
    if (question.thirdAnswer && chance(random) < 0.4)
        return QStringLiteral("unsure");
    if (expected == positive)
        return negative;
    if (expected == negative)
        return positive;
    return chance(random) < 0.55 ? positive : negative;
}

// A point near the expected one (or near the upper middle of the scale), closer for learners
// who follow the lesson well.
QString likertAnswer(const Question& question, const Learner& learner, Random& random)
{
    const int centre = question.expected.isEmpty() ? int(std::ceil(question.scale * 0.6))
                                                   : question.expected.toInt();
    std::normal_distribution<double> spread(0.0, 0.4 + 1.2 * (1.0 - learner.skill));
    const int point = centre + int(std::lround(spread(random)));
    return QString::number(std::clamp(point, 1, question.scale));
}

QString numericAnswer(const Question& question, const Learner& learner, Random& random)
{
    const QString& expected = question.expected;
    if (expected.isEmpty())
        return QString::number(1 + pick(random, 20));
    if (chance(random) < learner.skill)
        return expected;
    bool integer = false;
    const long long value = expected.toLongLong(&integer);
    if (!integer)
        return changeOneDigit(expected, random);
    switch (pick(random, 3)) {
    case 0: { // the digits the wrong way round
        QString reversed = expected;
        std::reverse(reversed.begin(), reversed.end());
        if (reversed != expected && !reversed.startsWith(QLatin1Char('-')))
            return reversed;
        return QString::number(value + 1);
    }
    case 1:
        return QString::number(value + (chance(random) < 0.5 ? -1 : 1));
    default:
        return QString::number(value + (chance(random) < 0.5 ? -10 : 10));
    }
}

QString textAnswer(const Question& question, const Learner& learner, Random& random)
{
    const QString& expected = question.expected;
    if (!expected.isEmpty() && chance(random) < learner.skill)
        return expected;
    if (question.maths) {
        if (!expected.isEmpty())
            return changeOneDigit(expected, random);
        return QStringLiteral("\\frac{%1}{%2}").arg(1 + pick(random, 4)).arg(2 + pick(random, 7));
    }
    if (expected.isEmpty()) {
        const char* const words[] = { "yes", "no", "maybe", "not sure" };
        return QLatin1String(words[pick(random, int(std::size(words)))]);
    }
    switch (pick(random, 3)) {
    case 0:
        return expected.toLower();
    case 1: // a letter left out
        return expected.size() > 2
            ? QString(expected).remove(1 + pick(random, int(expected.size()) - 1), 1)
            : expected + expected;
    default:
        return QStringLiteral("don't know");
    }
}

// What a learner answers to a question, in the form both kinds of session send it: option
// letters, 'A' yes or true, 'B' no or false, 'C' unsure, Likert digits, typed text (LaTeX for
// maths), 'A' for a message read.
std::string learnerAnswer(const Question& question, const Learner& learner, Random& random)
{
    switch (question.type) {
    case QuestionType::MultipleChoice:
    case QuestionType::SortInOrder:
        return choiceAnswer(question, learner, random).toStdString();
    case QuestionType::YesNo:
    case QuestionType::TrueFalse:
        return answerLetter(binaryAnswer(question, learner, random));
    case QuestionType::Likert:
        return likertAnswer(question, learner, random).toStdString();
    case QuestionType::Numeric:
        return numericAnswer(question, learner, random).toStdString();
    case QuestionType::Text:
        return textAnswer(question, learner, random).toStdString();
    case QuestionType::Message:
        break;
    }
    return std::string("A"); // the read receipt
}

} // namespace

struct EmulatedClass::State
{
    ClassSettings settings;
    std::vector<Learner> learners;
    std::vector<int> joinDelaysMs;
    std::shared_ptr<TwoPointFourGHzFirmware> firmware; // the first hub's
    std::shared_ptr<EnhancedFirmware> devices; // its answer devices' side of self-paced tests

    // The questions being asked and the generator the live answers are drawn from; the emulator
    // asks for answers on the thread that writes the question.
    std::mutex mutex;
    std::optional<Question> current;
    QList<Question> selfPaced;
    Random random;

    const Learner* learner(std::uint32_t uid) const;
    std::optional<std::string> answer(const EmulatedDevice& device);
    std::optional<std::string> selfPacedAnswer(
        const EmulatedDevice& device, const EnhancedQuestionInfo& info);
};

const Learner* EmulatedClass::State::learner(std::uint32_t uid) const
{
    const auto found = std::find_if(
        learners.begin(), learners.end(), [&](const Learner& l) { return l.uid == uid; });
    return found == learners.end() ? nullptr : &*found;
}

// What one learner answers to the current question.
std::optional<std::string> EmulatedClass::State::answer(const EmulatedDevice& device)
{
    std::lock_guard<std::mutex> locker(mutex);
    const Learner* who = learner(device.uid);
    if (!current || !who)
        return std::nullopt;
    return learnerAnswer(*current, *who, random);
}

// What one device answers to a question of the self-paced test: drawn from a generator of its
// own, so that the answer does not depend on when the device got there.
std::optional<std::string> EmulatedClass::State::selfPacedAnswer(
    const EmulatedDevice& device, const EnhancedQuestionInfo& info)
{
    std::lock_guard<std::mutex> locker(mutex);
    const Learner* who = learner(device.uid);
    if (!who || info.number < 1 || info.number > selfPaced.size())
        return std::nullopt;
    std::seed_seq seeds { settings.seed, device.uid, std::uint32_t(info.number), 0x5e1fu };
    Random random(seeds);
    return learnerAnswer(selfPaced.at(info.number - 1), *who, random);
}

EmulatedClass::EmulatedClass(const ClassSettings& settings)
    : d(std::make_shared<State>())
{
    d->settings = settings;
    d->random.seed(settings.seed);
    std::uniform_real_distribution<double> skill(0.35, 0.95);
    const int joinSpreadMs = std::min(15 * settings.size, 1500);
    std::uniform_int_distribution<int> joinDelay(20, 20 + joinSpreadMs);
    for (int i = 0; i < settings.size; ++i) {
        Learner learner;
        learner.secondGeneration = i % 3 == 2;
        const quint32 serial = 0x00B00001u + quint32(i);
        learner.address = quint16(0x0200 + i);
        learner.name = learnerName(i);
        // The second generation carries its mark in the uid's top byte.
        learner.uid = learner.secondGeneration
            ? EmulatedDevice::expressionV2(serial, learner.address, std::string()).uid
            : serial;
        learner.skill = skill(d->random);
        d->learners.push_back(learner);
        d->joinDelaysMs.push_back(joinDelay(d->random));
    }
}

EmulatedClass::~EmulatedClass()
{
    // The emulator outlives this object: its learners stop asking it for answers.
    if (d->firmware)
        d->firmware->setAnswerSource(TavioEmulator::AnswerSource());
    if (d->devices)
        d->devices->setAnswerSource(TavioEmulator::EnhancedAnswerSource());
}

void EmulatedClass::plugIn()
{
    auto& emulator = TavioEmulator::Emulator::instance();
    const ClassSettings& settings = d->settings;
    for (int i = 1; i <= settings.hubs; ++i) {
        // The first hub also carries the long-message transport its devices use for self-paced
        // tests.
        auto devices = i == 1 ? std::make_shared<EnhancedFirmware>() : nullptr;
        auto firmware = devices ? TavioEmulator::radioFirmwareFor(devices)
                                : std::make_shared<TwoPointFourGHzFirmware>();
        firmware->setHubName("Room " + std::to_string(10 + i));
        if (devices) {
            const std::string pin = settings.pin.toStdString();
            for (std::size_t n = 0; n < d->learners.size(); ++n) {
                const Learner& learner = d->learners[n];
                const std::string name = learner.name.toStdString();
                const EmulatedDevice device = learner.secondGeneration
                    ? EmulatedDevice::expressionV2(learner.uid, learner.address, name)
                    : EmulatedDevice::expression(learner.uid, learner.address, name);
                firmware->addWaitingLearner(
                    device, pin, std::chrono::milliseconds(d->joinDelaysMs[n]));
            }
            firmware->setResponseDelay(std::chrono::milliseconds(settings.minimumDelayMs),
                std::chrono::milliseconds(settings.maximumDelayMs));
            firmware->setSilenceChance(settings.silence, settings.seed);
            std::weak_ptr<State> state = d;
            firmware->setAnswerSource([state](const EmulatedDevice& device, const QuestionInfo&) {
                const auto s = state.lock();
                return s ? s->answer(device) : std::nullopt;
            });
            d->firmware = firmware;

            devices->setDeviceDelays(std::chrono::milliseconds(settings.selfPacedMinimumDelayMs),
                std::chrono::milliseconds(settings.selfPacedMaximumDelayMs), settings.seed);
            devices->setLoss(settings.loss, settings.loss, settings.seed);
            // The hub repeats a chunk request the host left unanswered after 50 ms rather
            // than 300: a hitch costs the short test little.
            devices->setRequestRetry(std::chrono::milliseconds(50), 20);
            devices->setAnswerSource(
                [state](const EmulatedDevice& device, const EnhancedQuestionInfo& info) {
                    const auto s = state.lock();
                    return s ? s->selfPacedAnswer(device, info) : std::nullopt;
                });
            d->devices = devices;
        }
        TavioEmulator::HubConfig config;
        config.kind = 3;
        config.serial = 0x5A000000ull + quint64(i);
        config.driverVersion = u"6.2.3.4";
        if (i == 1 && settings.virtualHub) {
            auto software = std::make_shared<VirtualTwoPointFourGHzFirmware>(firmware);
            software->setHubName("Room " + std::to_string(10 + i));
            config.kind = 4;
            config.devicePath = u"vh:/127.0.0.1/:room11:demo:1";
            TavioEmulator::addVirtualTwoPointFourGHzHub(emulator, config, software);
            continue;
        }
        TavioEmulator::addTwoPointFourGHzHub(emulator, config, firmware);
    }
}

const std::vector<Learner>& EmulatedClass::learners() const { return d->learners; }

int EmulatedClass::longestJoinDelayMs() const
{
    return d->joinDelaysMs.empty()
        ? 0
        : *std::max_element(d->joinDelaysMs.begin(), d->joinDelaysMs.end());
}

void EmulatedClass::setQuestion(const Question& question)
{
    std::lock_guard<std::mutex> locker(d->mutex);
    d->current = question;
}

void EmulatedClass::setSelfPacedQuestions(const QList<Question>& questions)
{
    std::lock_guard<std::mutex> locker(d->mutex);
    d->selfPaced = questions;
}

RadioCounts EmulatedClass::radioCounts() const
{
    RadioCounts counts;
    if (!d->devices)
        return counts;
    for (const TavioEmulator::AnswerDeviceReport& report : d->devices->reports()) {
        counts.chunkCommands += report.chunkCommands;
        counts.chunksLost += report.chunksLost;
        counts.acksSent += report.acksSent;
        counts.acksLost += report.acksLost;
    }
    counts.abandonedMessages = d->devices->counters().abandonedMessages;
    return counts;
}

} // namespace ClassroomDemo
