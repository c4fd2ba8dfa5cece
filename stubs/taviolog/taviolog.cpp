// Logging library: timestamped text files behind a small C interface (see taviolog.h).
//
// Handles are the addresses of LogFile objects. Every live handle is kept in a registry, and each
// call looks its handle up there first, so null pointers, foreign pointers and closed handles are
// recognised and ignored without ever being dereferenced. The registry hands out shared
// pointers, so a file that is being closed on one thread stays valid for a write that another
// thread has already started on it.
#include "taviolog.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <utility>

namespace {

namespace fs = std::filesystem;

constexpr const char* kDefaultFileName = "taviosystem.log";
constexpr const char* kLogDirVariable = "TAVIOLOG_DIR";
constexpr const char* kAppDataVariable = "TAVIOSYSTEM_APPDATA";
constexpr const char* kAppDataSubfolder = "Corvellan/TavioSystem/Logs";
constexpr const char* kFallbackFolder = "/tmp/taviolog";
constexpr int kBytesPerDumpLine = 16;

std::string timestamp()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const long long milliseconds
        = duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local {};
#if defined(_WIN32)
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
        local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
        static_cast<int>(milliseconds < 0 ? 0 : milliseconds));
    return buffer;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(const char16_t* text)
{
    std::string out;
    for (std::size_t i = 0; text[i] != 0; ++i) {
        char32_t c = text[i];
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (high || low) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

fs::path pathFromUtf16(const char16_t* text)
{
    if (text == nullptr)
        return {};
    return fs::u8path(toUtf8(text));
}

fs::path pathFromNarrow(const char* text)
{
    if (text == nullptr)
        return {};
    return fs::path(text);
}

fs::path defaultFolder()
{
    if (const char* dir = std::getenv(kLogDirVariable); dir != nullptr && *dir != 0)
        return fs::path(dir);
    if (const char* appData = std::getenv(kAppDataVariable); appData != nullptr && *appData != 0)
        return fs::path(appData) / fs::u8path(kAppDataSubfolder);
    return fs::path(kFallbackFolder);
}

std::FILE* openFile(const fs::path& path, bool truncate)
{
#if defined(_WIN32)
    return _wfopen(path.c_str(), truncate ? L"wb" : L"ab");
#else
    return std::fopen(path.c_str(), truncate ? "wb" : "ab");
#endif
}

class LogFile
{
public:
    LogFile(fs::path path, int level)
        : m_path(std::move(path))
        , m_level(level)
    {
    }

    ~LogFile() { closeLocked(); }

    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    bool open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_file = openFile(m_path, false);
        if (m_file == nullptr)
            return false;
        std::error_code error;
        const auto size = fs::file_size(m_path, error);
        m_size = error ? 0 : static_cast<long long>(size);
        return true;
    }

    void close()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        closeLocked();
    }

    bool isOpen()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_file != nullptr;
    }

    void setLevel(int level)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_level = level;
    }

    void setMaximumSize(int bytes)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_maximumSize = bytes > 0 ? bytes : 0;
    }

    void writeText(std::string_view text, int level)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_file == nullptr || level > m_level)
            return;
        writeLineLocked(timestamp(), text, level);
    }

    void writeBinary(const unsigned char* data, int size, int level)
    {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_file == nullptr || level > m_level)
            return;
        const std::string stamp = timestamp();
        std::string line;
        for (int offset = 0; offset < size; offset += kBytesPerDumpLine) {
            const int count = std::min(kBytesPerDumpLine, size - offset);
            char prefix[16];
            std::snprintf(prefix, sizeof prefix, "%08X  ", static_cast<unsigned>(offset));
            line = prefix;
            for (int i = 0; i < kBytesPerDumpLine; ++i) {
                if (i < count) {
                    const unsigned char byte = data[offset + i];
                    line += kDigits[byte >> 4];
                    line += kDigits[byte & 0x0F];
                } else {
                    line += "  ";
                }
                line += ' ';
            }
            line += ' ';
            for (int i = 0; i < count; ++i) {
                const unsigned char byte = data[offset + i];
                line += (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
            }
            writeLineLocked(stamp, line, level);
            if (m_file == nullptr)
                return;
        }
    }

private:
    void closeLocked()
    {
        if (m_file != nullptr) {
            std::fclose(m_file);
            m_file = nullptr;
        }
    }

    // Starts a new file; the current one becomes <name>.1, replacing an older one.
    void rotateLocked()
    {
        closeLocked();
        fs::path previous = m_path;
        previous += ".1";
        std::error_code error;
        fs::remove(previous, error);
        fs::rename(m_path, previous, error);
        m_file = openFile(m_path, true);
        m_size = 0;
    }

    void writeLineLocked(const std::string& stamp, std::string_view text, int level)
    {
        std::string line;
        line.reserve(stamp.size() + text.size() + 16);
        line += stamp;
        line += " [";
        line += std::to_string(level);
        line += "] ";
        line += text;
        line += '\n';

        const auto length = static_cast<long long>(line.size());
        if (m_maximumSize > 0 && m_size > 0 && m_size + length > m_maximumSize) {
            rotateLocked();
            if (m_file == nullptr)
                return;
        }
        const std::size_t written = std::fwrite(line.data(), 1, line.size(), m_file);
        std::fflush(m_file);
        m_size += static_cast<long long>(written);
    }

    std::mutex m_mutex;
    const fs::path m_path;
    std::FILE* m_file = nullptr;
    int m_level;
    long long m_maximumSize = 0;
    long long m_size = 0;
};

// Lifetime of the registry, readable even after the registry itself has been destroyed at exit
// (std::atomic<int> is trivially destructible), so late calls are ignored instead of touching a
// dead object.
enum RegistryState : int { NotCreated, Alive, Destroyed };
std::atomic<int> g_registryState { NotCreated };

class Registry
{
public:
    Registry() { g_registryState.store(Alive); }
    ~Registry() { g_registryState.store(Destroyed); }

    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    void add(std::shared_ptr<LogFile> file)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        LogFile* key = file.get();
        m_files.emplace(key, std::move(file));
    }

    std::shared_ptr<LogFile> find(const void* handle)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_files.find(handle);
        return it == m_files.end() ? nullptr : it->second;
    }

    std::shared_ptr<LogFile> take(const void* handle)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_files.find(handle);
        if (it == m_files.end())
            return nullptr;
        std::shared_ptr<LogFile> file = std::move(it->second);
        m_files.erase(it);
        return file;
    }

private:
    std::mutex m_mutex;
    std::unordered_map<const void*, std::shared_ptr<LogFile>> m_files;
};

Registry* registry()
{
    if (g_registryState.load() == Destroyed)
        return nullptr;
    static Registry instance;
    return &instance;
}

std::shared_ptr<LogFile> findFile(const void* handle)
{
    if (handle == nullptr || g_registryState.load() != Alive)
        return nullptr;
    Registry* live = registry();
    return live != nullptr ? live->find(handle) : nullptr;
}

void* createLog(fs::path fileName, fs::path folder, int level)
{
    Registry* live = registry();
    if (live == nullptr)
        return nullptr;
    if (fileName.empty())
        fileName = fs::path(kDefaultFileName);
    if (folder.empty())
        folder = defaultFolder();
    fs::path path = folder / fileName;

    std::error_code error;
    const fs::path parent = path.parent_path();
    if (!parent.empty())
        fs::create_directories(parent, error);

    auto file = std::make_shared<LogFile>(std::move(path), level);
    if (!file->open())
        return nullptr;
    void* handle = file.get();
    live->add(std::move(file));
    return handle;
}

} // namespace

extern "C" {

TAVIOLOG_EXPORT void* log_createA(
    const char* fileName, const char* folder, int /*flags*/, int level)
{
    try {
        return createLog(pathFromNarrow(fileName), pathFromNarrow(folder), level);
    } catch (...) {
        return nullptr;
    }
}

TAVIOLOG_EXPORT void* log_createW(
    const char16_t* fileName, const char16_t* folder, int /*flags*/, int level)
{
    try {
        return createLog(pathFromUtf16(fileName), pathFromUtf16(folder), level);
    } catch (...) {
        return nullptr;
    }
}

TAVIOLOG_EXPORT void log_logTextA(void* handle, const char* text, int level)
{
    if (text == nullptr)
        return;
    try {
        if (const auto file = findFile(handle))
            file->writeText(text, level);
    } catch (...) {
    }
}

TAVIOLOG_EXPORT void log_logTextW(void* handle, const char16_t* text, int level)
{
    if (text == nullptr)
        return;
    try {
        if (const auto file = findFile(handle))
            file->writeText(toUtf8(text), level);
    } catch (...) {
    }
}

TAVIOLOG_EXPORT void log_logBinary(void* handle, const void* data, int size, int level)
{
    if (data == nullptr || size <= 0)
        return;
    try {
        if (const auto file = findFile(handle))
            file->writeBinary(static_cast<const unsigned char*>(data), size, level);
    } catch (...) {
    }
}

TAVIOLOG_EXPORT void log_close(void* handle)
{
    if (handle == nullptr || g_registryState.load() != Alive)
        return;
    try {
        Registry* live = registry();
        if (const auto file = live != nullptr ? live->take(handle) : nullptr)
            file->close();
    } catch (...) {
    }
}

TAVIOLOG_EXPORT int log_isOpen(void* handle)
{
    try {
        const auto file = findFile(handle);
        return file != nullptr && file->isOpen() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

TAVIOLOG_EXPORT void log_setLevel(void* handle, int level)
{
    try {
        if (const auto file = findFile(handle))
            file->setLevel(level);
    } catch (...) {
    }
}

TAVIOLOG_EXPORT void log_setMaximumSize(void* handle, int bytes)
{
    try {
        if (const auto file = findFile(handle))
            file->setMaximumSize(bytes);
    } catch (...) {
    }
}

} // extern "C"
