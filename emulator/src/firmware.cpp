// The firmware models: a rule-driven one for tests and a board touch controller.
#include "emulator_p.h"

#include <algorithm>

namespace TavioEmulator {

Firmware::~Firmware() = default;

namespace {

bool startsWith(const Bytes& command, const Bytes& prefix)
{
    return command.size() >= prefix.size()
        && std::equal(prefix.begin(), prefix.end(), command.begin());
}

} // namespace

// ScriptedFirmware

struct ScriptedFirmware::Private
{
    struct Rule
    {
        Bytes prefix;
        std::vector<Bytes> replies;
        std::chrono::milliseconds delay { 0 };
        int remaining = 0; // one-shot rules only
    };

    std::mutex m;
    std::vector<Rule> oneShot; // consulted first, oldest first
    std::vector<Rule> standing;
};

ScriptedFirmware::ScriptedFirmware()
    : d(std::make_unique<Private>())
{
}

ScriptedFirmware::~ScriptedFirmware() = default;

void ScriptedFirmware::on(
    const Bytes& prefix, std::vector<Bytes> replies, std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(d->m);
    for (Private::Rule& rule : d->standing) {
        if (rule.prefix == prefix) {
            rule.replies = std::move(replies);
            rule.delay = delay;
            return;
        }
    }
    d->standing.push_back({ prefix, std::move(replies), delay, 0 });
}

void ScriptedFirmware::onNext(
    const Bytes& prefix, std::vector<Bytes> replies, int times, std::chrono::milliseconds delay)
{
    if (times <= 0)
        return;
    std::lock_guard<std::mutex> lock(d->m);
    d->oneShot.push_back({ prefix, std::move(replies), delay, times });
}

void ScriptedFirmware::clearRules()
{
    std::lock_guard<std::mutex> lock(d->m);
    d->oneShot.clear();
    d->standing.clear();
}

void ScriptedFirmware::onWrite(EmulatedHub& hub, const Bytes& command)
{
    std::vector<Bytes> replies;
    std::chrono::milliseconds delay { 0 };
    {
        std::lock_guard<std::mutex> lock(d->m);
        auto match
            = [&command](const Private::Rule& rule) { return startsWith(command, rule.prefix); };
        auto once = std::find_if(d->oneShot.begin(), d->oneShot.end(), match);
        if (once != d->oneShot.end()) {
            replies = once->replies;
            delay = once->delay;
            if (--once->remaining <= 0)
                d->oneShot.erase(once);
        } else {
            auto rule = std::find_if(d->standing.begin(), d->standing.end(), match);
            if (rule == d->standing.end())
                return;
            replies = rule->replies;
            delay = rule->delay;
        }
    }
    for (const Bytes& reply : replies)
        hub.deliver(reply, delay);
}

// TouchBoardFirmware

struct TouchBoardFirmware::Private
{
    std::shared_ptr<Firmware> next;
    mutable std::mutex m;
    std::uint8_t status = 5;
    std::uint8_t touches = 10;
    bool silent = false;
    std::chrono::milliseconds delay { 0 };
    std::atomic<int> answered { 0 };
};

TouchBoardFirmware::TouchBoardFirmware(std::shared_ptr<Firmware> next)
    : d(std::make_unique<Private>())
{
    d->next = std::move(next);
}

TouchBoardFirmware::~TouchBoardFirmware() = default;

void TouchBoardFirmware::setRunning(bool running) { setStatusByte(running ? 5 : 0); }

void TouchBoardFirmware::setStatusByte(std::uint8_t status)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->status = status;
}

void TouchBoardFirmware::setTouchCount(std::uint8_t touches)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->touches = touches;
}

void TouchBoardFirmware::setSilent(bool silent)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->silent = silent;
}

void TouchBoardFirmware::setReplyDelay(std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(d->m);
    d->delay = delay;
}

int TouchBoardFirmware::queriesAnswered() const { return d->answered.load(); }

void TouchBoardFirmware::onWrite(EmulatedHub& hub, const Bytes& command)
{
    static constexpr std::uint8_t query[] = { ':', 'Q', 'T', 0x0D };
    if (command.size() != sizeof(query) || !std::equal(command.begin(), command.end(), query)) {
        if (d->next)
            d->next->onWrite(hub, command);
        return;
    }
    Bytes reply;
    std::chrono::milliseconds delay;
    {
        std::lock_guard<std::mutex> lock(d->m);
        if (d->silent)
            return;
        reply = { 0x08, 0xA5, 0x00, 0x00, 0x00, 0x00, d->status, d->touches };
        delay = d->delay;
    }
    hub.deliver(reply, delay);
    d->answered.fetch_add(1);
}

} // namespace TavioEmulator
