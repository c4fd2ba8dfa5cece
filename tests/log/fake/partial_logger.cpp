// A logging library that exports only log_createA and log_logTextA and counts the texts it is
// given, so that tests can see that Log skips the functions it lacks. Creating at level 99 fails.
#include <atomic>
#include <cstring>

#define PARTIAL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int g_handle = 0;
std::atomic<int> g_textCalls { 0 };
char g_lastText[64] = {};

} // namespace

PARTIAL_EXPORT void* log_createA(const char*, const char*, int, int level)
{
    return level == 99 ? nullptr : &g_handle;
}

// Counts every call, whatever the handle, so that calls Log should have skipped show.
PARTIAL_EXPORT void log_logTextA(void*, const char* text, int)
{
    if (text == nullptr)
        return;
    std::strncpy(g_lastText, text, sizeof g_lastText - 1);
    ++g_textCalls;
}

// Test access: the number of log_logTextA calls since the last call, and the last text.
PARTIAL_EXPORT int partial_take(const char** lastText)
{
    *lastText = g_lastText;
    return g_textCalls.exchange(0);
}
