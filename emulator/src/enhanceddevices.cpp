// The answer devices of the enhanced transport: what they ask for, how they read the host's
// messages, how they answer, and the packets they send.
#include "enhanced_p.h"

#include <deque>

namespace TavioEmulator {

using namespace Radio;
using namespace Transport;

namespace {

// Layout of host messages 0x01 and 0x02 (after the type byte and 2-byte length).
constexpr std::size_t ParametersFixedSize = 7; // type, length, total, flags, start, last
constexpr std::size_t ParametersOffsetMask = 6;
constexpr std::size_t QuestionOffsetText = 11;
constexpr std::size_t QuestionLengthCounted = 3; // type byte and length field, not counted
constexpr std::size_t QuestionFixedCounted = 8; // the counted fields before the text

// The decimal number at the start of `text` (leading white space skipped); 0 for none.
std::uint32_t decimal(const std::string& text)
{
    std::uint32_t value = 0;
    std::size_t at = text.find_first_not_of(" \t\r\n");
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = value * 10 + std::uint32_t(text[at] - '0');
    return value;
}

// The value of attribute `name` in a start tag, or "".
std::string attribute(const std::string& tag, const std::string& name)
{
    for (std::size_t at = tag.find(name); at != std::string::npos; at = tag.find(name, at + 1)) {
        const std::size_t equals = at + name.size();
        if (at == 0 || !std::isspace(static_cast<unsigned char>(tag[at - 1]))
            || equals + 1 >= tag.size() || tag[equals] != '='
            || (tag[equals + 1] != '"' && tag[equals + 1] != '\''))
            continue;
        const std::size_t end = tag.find(tag[equals + 1], equals + 2);
        if (end != std::string::npos)
            return tag.substr(equals + 2, end - equals - 2);
    }
    return {};
}

// The piece of `message` at `index`, zero-padded to PieceSize.
Bytes piece(const Bytes& message, std::size_t index)
{
    Bytes bytes(PieceSize, 0);
    const std::size_t at = index * PieceSize;
    if (at < message.size())
        std::copy_n(message.begin() + std::ptrdiff_t(at), std::min(PieceSize, message.size() - at),
            bytes.begin());
    return bytes;
}

Bytes packetHead(std::uint8_t kind, std::uint16_t address)
{
    return { 13, kind, std::uint8_t(address >> 8), std::uint8_t(address) };
}

} // namespace

void EnhancedFirmware::Private::beginRun(EmulatedHub& hub, Device& device, TimePoint now)
{
    if (mode == EnhancedMode::Async) {
        sendRequest(hub, device, RequestParameters, 0, now);
    } else {
        device.awaitingDescription = true;
        sendControl(hub, device, ControlDescription, 0, now);
    }
}

Bytes EnhancedFirmware::Private::acknowledgement(const Device& device) const
{
    // Up to 56 chunks: all of them from 0; more: from the first one missing, wrapping.
    std::size_t start = 0;
    if (device.count > AckBits) {
        while (start < device.count && device.chunks.count(start) != 0)
            ++start;
        if (start == device.count)
            start = 0;
    }
    Bytes packet = packetHead(AcknowledgementPacket, device.address());
    appendBig(packet, std::uint32_t(start), 2);
    packet.resize(13, 0);
    for (std::size_t k = 0; k < AckBits; ++k) {
        std::size_t index = start + k;
        if (index >= device.count) {
            if (device.count < AckBits)
                break;
            index -= device.count;
        }
        if (device.chunks.count(index) != 0)
            packet[6 + k / 8] |= std::uint8_t(1u << (k % 8));
    }
    return packet;
}

bool EnhancedFirmware::Private::draw(std::mt19937& generator, double share)
{
    return share > 0 && std::uniform_real_distribution<double>(0.0, 1.0)(generator) < share;
}

std::vector<Bytes> EnhancedFirmware::Private::overTheAir(
    Device& device, const std::vector<Bytes>& pieces) const
{
    struct Transmission
    {
        const Bytes* packet;
        bool repeat;
    };
    std::deque<Transmission> waiting;
    for (const Bytes& packet : pieces)
        waiting.push_back({ &packet, false });
    std::vector<Bytes> heard;
    while (!waiting.empty()) {
        const Transmission sent = waiting.front();
        waiting.pop_front();
        if (draw(device.pieceFaults, pieceLoss)) {
            ++device.report.piecesLost;
            if (!sent.repeat)
                waiting.push_back(sent); // the device tries again after the rest
            continue;
        }
        heard.push_back(*sent.packet);
        if (!sent.repeat && draw(device.pieceFaults, pieceRepeat)) {
            ++device.report.piecesRepeated;
            const std::size_t at
                = std::uniform_int_distribution<std::size_t>(0, waiting.size())(device.pieceFaults);
            waiting.insert(waiting.begin() + std::ptrdiff_t(at), { sent.packet, true });
        }
    }
    for (std::size_t i = 0; i + 1 < heard.size(); ++i) {
        if (draw(device.pieceFaults, pieceSwap)) {
            std::swap(heard[i], heard[i + 1]);
            ++device.report.piecesSwapped;
            ++i;
        }
    }
    return heard;
}

void EnhancedFirmware::Private::completed(
    EmulatedHub& hub, Device& device, TimePoint now, std::vector<Decision>& decisions)
{
    Bytes message;
    for (const auto& chunk : device.chunks)
        message.insert(message.end(), chunk.second.begin(), chunk.second.end());
    if (mode == EnhancedMode::Async)
        completedAsync(hub, device, std::move(message), now, decisions);
    else
        completedGeneric(hub, device, std::move(message), now, decisions);
}

void EnhancedFirmware::Private::completedAsync(EmulatedHub& hub, Device& device, Bytes message,
    TimePoint now, std::vector<Decision>& decisions)
{
    device.report.messages.push_back({ device.number, message });
    if (device.report.finished || message.empty())
        return;
    switch (message[0]) {
    case SessionParametersMessage: {
        const auto parameters = parseSessionParameters(message);
        if (!parameters)
            return;
        device.report.parameters = parameters;
        device.nextQuestion = parameters->firstQuestion();
        device.questionsLeft = parameters->totalQuestions;
        device.asking = device.questionsLeft > 0;
        if (device.asking)
            requestQuestion(hub, device, now);
        else
            finish(device);
        break;
    }
    case QuestionMessage:
        if (const auto question = parseQuestion(message)) {
            device.report.questions.push_back(*question);
            decisions.push_back({ device.address(), question, {} });
        } else {
            ++device.report.questionsRefused;
        }
        break;
    case NoMoreQuestionsMessage:
        device.report.noMoreQuestions = true;
        device.asking = false;
        finish(device);
        break;
    default: // messages and pop-ups are only kept
        break;
    }
}

void EnhancedFirmware::Private::completedGeneric(EmulatedHub& hub, Device& device, Bytes message,
    TimePoint now, std::vector<Decision>& decisions)
{
    AnswerDeviceReport& report = device.report;
    const std::uint32_t number = device.number;
    const auto settled = [&] { return !device.awaitingDescription && !device.requestedFile; };
    const bool wasSettled = settled();
    if (device.requestedFile == number) {
        // A file: its type byte and bytes, then padding up to its listed size.
        const auto listed = std::find_if(report.files.begin(), report.files.end(),
            [number](const ApplicationFileEntry& file) { return file.fid == number; });
        if (listed != report.files.end())
            message.resize(std::min<std::size_t>(message.size(), listed->size));
        report.fileContents[number] = std::move(message);
        device.requestedFile.reset();
        ++device.nextFile;
    } else if (device.awaitingDescription && message.size() > 1 && message[0] == 0x01
        && message[1] == '<') {
        // The description: 0x01 and XML, then padding.
        while (!message.empty() && message.back() == 0)
            message.pop_back();
        report.description.assign(message.begin() + 1, message.end());
        report.files = parseDescription(report.description);
        device.awaitingDescription = false;
        device.nextFile = 0;
    } else {
        // A host message: its length minus one in 3 bytes, the bytes, then padding.
        const std::size_t length = std::size_t(readBig(message, 0, 3)) + 1;
        Bytes bytes(message.begin() + 3,
            message.begin() + 3 + std::ptrdiff_t(std::min(length, message.size() - 3)));
        report.messages.push_back({ number, bytes });
        decisions.push_back({ device.address(), std::nullopt, std::move(bytes) });
    }
    if (!settled()) {
        // A host message took the place of what the device asked for (the host keeps one
        // outgoing message per device): it asks again.
        sendControl(hub, device, ControlRelease, number, now);
        if (device.requestedFile)
            sendControl(hub, device, ControlFile, *device.requestedFile, now);
        else
            sendControl(hub, device, ControlDescription, 0, now);
        return;
    }
    const bool lastFile = device.nextFile >= report.files.size();
    sendControl(hub, device, ControlRelease, number, now,
        lastFile && !wasSettled && !report.finished ? finishing(device.address()) : OnSent {});
    if (!lastFile)
        fetchNextFile(hub, device, now);
}

void EnhancedFirmware::Private::requestQuestion(EmulatedHub& hub, Device& device, TimePoint due)
{
    sendRequest(hub, device, RequestQuestion, std::uint8_t(device.nextQuestion), due);
}

void EnhancedFirmware::Private::fetchNextFile(EmulatedHub& hub, Device& device, TimePoint due)
{
    const std::uint32_t fid = device.report.files[device.nextFile].fid;
    device.requestedFile = fid;
    sendControl(hub, device, ControlFile, fid, due);
}

void EnhancedFirmware::Private::sendRequest(EmulatedHub& hub, Device& device, std::uint8_t kind,
    std::uint8_t value, TimePoint due, OnSent onSent)
{
    Bytes packet { 12, GetMessagePacket, std::uint8_t(device.address() >> 8),
        std::uint8_t(device.address()) };
    packet.resize(4 + RequestSize, 0);
    packet[4] = kind;
    if (kind == RequestQuestion)
        packet[4 + RequestOffsetQuestion] = value;
    else if (kind == RequestParameters)
        packet[4 + RequestOffsetLocale] = locale;
    ++device.report.requestsSent;
    send(hub, packet, due, std::move(onSent));
}

void EnhancedFirmware::Private::sendControl(EmulatedHub& hub, Device& device, std::uint8_t kind,
    std::uint32_t value, TimePoint due, OnSent onSent)
{
    Bytes control { kind };
    appendBig(control, value, kind == ControlQuestion ? 2 : 3);
    control.resize(ControlSize, 0);
    device.report.controls.push_back(control);
    ++device.report.requestsSent;
    Bytes packet = packetHead(ControlPacket, device.address());
    packet.reserve(packet.size() + control.size());
    packet.insert(packet.end(), control.begin(), control.end());
    send(hub, packet, due, std::move(onSent));
}

void EnhancedFirmware::Private::sendMessage(
    EmulatedHub& hub, Device& device, const Bytes& message, TimePoint due, OnSent onSent)
{
    std::vector<Bytes> packets;
    if (mode == EnhancedMode::Generic) {
        device.report.deviceMessages.push_back(message);
        packets = genericMessagePackets(device.address(), ++device.lastMessageNumber, message);
    } else {
        packets = overTheAir(device, asyncMessagePackets(device.address(), message));
    }
    for (std::size_t i = 0; i < packets.size(); ++i)
        send(hub, packets[i], due, i + 1 == packets.size() ? std::move(onSent) : OnSent {});
}

EnhancedFirmware::Private::OnSent EnhancedFirmware::Private::finishing(
    std::uint16_t address, bool shutDown)
{
    return [address, shutDown](Private& p) {
        const auto device = p.devices.find(address);
        if (device == p.devices.end())
            return;
        device->second.report.shutDown = device->second.report.shutDown || shutDown;
        p.finish(device->second);
    };
}

void EnhancedFirmware::Private::finish(Device& device)
{
    device.report.finished = true;
    finishedCv.notify_all();
}

void EnhancedFirmware::Private::decide(
    EmulatedHub& hub, const Decision& decision, std::uint64_t runTag, TimePoint now)
{
    EmulatedDevice identity;
    EnhancedAnswerSource questionSource;
    GenericAnswerSource messageSource;
    {
        std::lock_guard<std::mutex> lock(m);
        const auto device = devices.find(decision.address);
        if (tag != runTag || device == devices.end())
            return;
        identity = device->second.report.device;
        questionSource = source;
        messageSource = genericSource;
    }
    // The test's code runs without the lock.
    std::optional<std::string> answer;
    std::optional<Bytes> reply;
    if (decision.question) {
        QuestionInfo asRadio; // the radio's defaults read the same display byte
        asRadio.type = decision.question->kind;
        asRadio.typeByte = decision.question->display;
        answer = questionSource ? questionSource(identity, *decision.question)
                                : defaultAnswer(identity, asRadio);
    } else if (messageSource) {
        reply = messageSource(identity, decision.message);
    }

    std::lock_guard<std::mutex> lock(m);
    const auto found = devices.find(decision.address);
    if (tag != runTag || found == devices.end())
        return;
    Device& device = found->second;
    const TimePoint due = now + device.delay;
    if (!decision.question) {
        if (reply)
            sendMessage(hub, device, *reply, due);
        return;
    }
    const EnhancedQuestionInfo& question = *decision.question;
    if (answer) {
        device.report.answers.push_back(
            { question.number, question.kind, answerBytes(question.kind, *answer) });
    }
    // A question the device did not ask for is answered and changes nothing else.
    const bool asked = device.asking;
    const int left = asked ? device.questionsLeft - 1 : device.questionsLeft;
    const auto quitAt = shutDownAfter.find(identity.uid);
    const bool quits = asked && quitAt != shutDownAfter.end()
        && int(device.report.answers.size()) >= quitAt->second;
    const bool ends = asked && left == 0 && !quits;
    if (answer)
        sendMessage(hub, device, device.report.answers.back().bytes, due,
            ends ? finishing(device.address()) : OnSent {});
    else if (ends)
        finish(device);
    if (!asked)
        return;
    device.questionsLeft = left;
    ++device.nextQuestion;
    device.asking = left > 0 && !quits;
    if (quits)
        sendRequest(hub, device, RequestShutDown, 0, due, finishing(device.address(), true));
    else if (device.asking)
        requestQuestion(hub, device, due);
}

bool EnhancedFirmware::Private::act(std::uint32_t uid, EnhancedMode needed,
    const std::function<void(EmulatedHub&, Device&, TimePoint)>& action)
{
    int handle = 0;
    {
        std::lock_guard<std::mutex> lock(m);
        if (tag == 0)
            return false;
        handle = hubHandle;
    }
    EmulatorImpl* emulator = currentEmulator();
    const std::shared_ptr<HubImpl> hub = emulator ? emulator->findHub(handle) : nullptr;
    if (!hub)
        return false;
    std::lock_guard<std::mutex> lock(m);
    Device* device = deviceOf(uid);
    if (tag == 0 || hubHandle != handle || !device
        || (needed != EnhancedMode::None && mode != needed))
        return false;
    action(*hub, *device, Clock::now());
    return true;
}

// Actions told by the test.

bool EnhancedFirmware::shutDown(std::uint32_t uid)
{
    return d->act(uid, EnhancedMode::Async, [this](EmulatedHub& hub, auto& device, auto now) {
        device.asking = false;
        d->sendRequest(
            hub, device, RequestShutDown, 0, now, Private::finishing(device.address(), true));
    });
}

bool EnhancedFirmware::sendControl(std::uint32_t uid, std::uint8_t kind, std::uint32_t value)
{
    return d->act(uid, EnhancedMode::Generic, [&](EmulatedHub& hub, auto& device, auto now) {
        if (kind == ControlDescription)
            device.awaitingDescription = true;
        else if (kind == ControlFile)
            device.requestedFile = value;
        else if (kind == ControlSessionDone)
            d->release(hub, device, now);
        d->sendControl(hub, device, kind, value, now);
    });
}

bool EnhancedFirmware::sendDeviceMessage(std::uint32_t uid, const Bytes& message)
{
    return d->act(uid, EnhancedMode::None, [&](EmulatedHub& hub, auto& device, auto now) {
        d->sendMessage(hub, device, message, now);
    });
}

// Encoders and decoders.

Bytes EnhancedFirmware::answerBytes(int kind, const std::string& answer)
{
    Bytes bytes(answer.begin(), answer.end());
    switch (kind) {
    case QuestionInfo::MultipleChoice:
    case QuestionInfo::SortInOrder:
        bytes.insert(bytes.end(), { 0, 0 });
        return bytes;
    case QuestionInfo::YesNo:
    case QuestionInfo::TrueFalse:
        bytes.resize(std::min<std::size_t>(bytes.size(), 1));
        return bytes;
    case QuestionInfo::Likert:
        return answer.empty() ? Bytes {} : Bytes { likertValue(answer) };
    default:
        return bytes;
    }
}

std::vector<Bytes> EnhancedFirmware::asyncMessagePackets(
    std::uint16_t address, const Bytes& message)
{
    const std::size_t count
        = std::clamp<std::size_t>((message.size() + PieceSize - 1) / PieceSize, 1, MaxPieces);
    std::vector<Bytes> packets;
    for (std::size_t i = 0; i < count; ++i) {
        Bytes packet = packetHead(i == 0 ? FirstPiecePacket : FurtherPiecePacket, address);
        packet.push_back(std::uint8_t(i == 0 ? count : i));
        const Bytes bytes = piece(message, i);
        packet.insert(packet.end(), bytes.begin(), bytes.end());
        packets.push_back(std::move(packet));
    }
    return packets;
}

std::vector<Bytes> EnhancedFirmware::genericMessagePackets(
    std::uint16_t address, std::uint32_t number, const Bytes& message, std::uint32_t extra)
{
    Bytes header = packetHead(GenericHeaderPacket, address);
    appendBig(header, number, 3);
    appendBig(header, std::uint32_t(message.size()), 3);
    appendBig(header, extra, 3);
    std::vector<Bytes> packets { header };
    for (std::size_t i = 0; i * PieceSize < message.size(); ++i) {
        Bytes packet = packetHead(GenericPiecePacket, address);
        packet.push_back(std::uint8_t(i));
        const Bytes bytes = piece(message, i);
        packet.insert(packet.end(), bytes.begin(), bytes.end());
        packets.push_back(std::move(packet));
    }
    return packets;
}

std::optional<EnhancedSessionParameters> EnhancedFirmware::parseSessionParameters(
    const Bytes& message)
{
    if (message.size() < ParametersFixedSize || message[0] != SessionParametersMessage)
        return std::nullopt;
    const std::size_t length = readBig(message, 1, 2);
    if (length < 4 || message.size() < ParametersFixedSize + length - 4)
        return std::nullopt;
    EnhancedSessionParameters parameters;
    parameters.totalQuestions = message[3];
    parameters.flags = message[4];
    parameters.startingQuestion = message[5];
    const auto mask = message.begin() + ParametersOffsetMask;
    parameters.mask.assign(mask, mask + std::ptrdiff_t(length - 4));
    parameters.lastParameter = message[ParametersOffsetMask + length - 4];
    return parameters;
}

std::optional<EnhancedQuestionInfo> EnhancedFirmware::parseQuestion(const Bytes& message)
{
    if (message.size() < QuestionOffsetText || message[0] != QuestionMessage)
        return std::nullopt;
    EnhancedQuestionInfo question;
    question.number = message[3];
    question.kind = message[4];
    question.display = message[5];
    question.flags = message[6];
    // The length counts everything after it: the fixed fields, the text and the answer. A
    // Likert question carries one answer byte, its correct value or 0, whatever the answer
    // length says.
    const std::size_t length = readBig(message, 1, 2);
    const std::size_t textLength = readBig(message, 7, 2);
    const std::size_t answerLength
        = question.kind == QuestionInfo::Likert ? 1 : readBig(message, 9, 2);
    if (length != message.size() - QuestionLengthCounted
        || length != QuestionFixedCounted + textLength + answerLength)
        return std::nullopt;
    const auto text = message.begin() + QuestionOffsetText;
    question.text.assign(text, text + std::ptrdiff_t(textLength));
    question.correct.assign(text + std::ptrdiff_t(textLength), message.end());
    return question;
}

std::vector<ApplicationFileEntry> EnhancedFirmware::parseDescription(const std::string& xml)
{
    std::vector<ApplicationFileEntry> files;
    for (std::size_t at = xml.find("<file"); at != std::string::npos;
         at = xml.find("<file", at + 1)) {
        const std::size_t close = xml.find('>', at);
        if (close == std::string::npos)
            break;
        const char after = xml[at + 5];
        if (after != '>' && after != '/' && !std::isspace(static_cast<unsigned char>(after)))
            continue; // "<files"
        const std::string tag = xml.substr(at, close - at);
        ApplicationFileEntry file;
        file.fid = decimal(attribute(tag, "fid"));
        file.type = attribute(tag, "type");
        file.id = attribute(tag, "id");
        const std::size_t end = xml.find("</file>", close);
        const std::size_t size = xml.find("<size>", close);
        if (tag.back() != '/' && size < end)
            file.size = decimal(xml.substr(size + 6));
        files.push_back(std::move(file));
    }
    return files;
}

} // namespace TavioEmulator
