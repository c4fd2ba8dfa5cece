// A logging library that exports only log_createA, log_setLevel and log_logTextA, and records
// what it was given, so that tests can check which calls Log makes when functions are missing.
// Creating with level 99 fails (returns null).
#include <mutex>
#include <string>

#if defined(_WIN32)
#define PARTIAL_EXPORT __declspec(dllexport)
#else
#define PARTIAL_EXPORT __attribute__((visibility("default")))
#endif

namespace {

std::mutex g_mutex;
int g_handle = 0;
int g_textCalls = 0;
int g_lastLevel = -1;
std::string g_lastText;

} // namespace

extern "C" {

PARTIAL_EXPORT void* log_createA(const char*, const char*, int, int level)
{
    return level == 99 ? nullptr : &g_handle;
}

PARTIAL_EXPORT void log_setLevel(void*, int level)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lastLevel = level;
}

PARTIAL_EXPORT void log_logTextA(void* handle, const char* text, int)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (handle != &g_handle || text == nullptr)
        return;
    ++g_textCalls;
    g_lastText = text;
}

// Test access: number of log_logTextA calls, last text and the level last set, then reset.
PARTIAL_EXPORT int partial_takeTextCalls(char* lastText, int capacity, int* lastLevel)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const int calls = g_textCalls;
    if (lastText != nullptr && capacity > 0) {
        const std::string shown = g_lastText.substr(0, static_cast<std::size_t>(capacity - 1));
        shown.copy(lastText, shown.size());
        lastText[shown.size()] = '\0';
    }
    if (lastLevel != nullptr)
        *lastLevel = g_lastLevel;
    g_textCalls = 0;
    g_lastLevel = -1;
    g_lastText.clear();
    return calls;
}

} // extern "C"
