// C interface of the logging library (libtaviolog.so).
//
// The system never links against this library: it loads it at run time and looks the functions
// up by name, so the names and signatures below must not change.
//
// Each handle writes one text file, a line per message:
//
//     YYYY-MM-DD hh:mm:ss.zzz [level] text
//
// A message is written when its level is <= the handle's level. Every line is flushed at once.
// Null handles, handles that are not (or no longer) ours and null texts are ignored. All
// functions may be called from any thread.
#pragma once

#if defined(_WIN32)
#define TAVIOLOG_EXPORT __declspec(dllexport)
#else
#define TAVIOLOG_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Opens (appending) <folder>/<fileName> and returns its handle, or null when the file cannot be
// opened. A null or empty fileName gives "taviosystem.log". A null or empty folder gives
// $TAVIOLOG_DIR when set, else $TAVIOSYSTEM_APPDATA/Corvellan/TavioSystem/Logs when set, else
// /tmp/taviolog. Missing folders are created. flags is reserved and ignored.
TAVIOLOG_EXPORT void* log_createA(const char* fileName, const char* folder, int flags, int level);
TAVIOLOG_EXPORT void* log_createW(
    const char16_t* fileName, const char16_t* folder, int flags, int level);

// Writes one line. The A variant writes the bytes as given; the W variant writes UTF-8.
TAVIOLOG_EXPORT void log_logTextA(void* handle, const char* text, int level);
TAVIOLOG_EXPORT void log_logTextW(void* handle, const char16_t* text, int level);

// Writes a hex dump, 16 bytes a line:
//     00000000  30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46  0123456789ABCDEF
TAVIOLOG_EXPORT void log_logBinary(void* handle, const void* data, int size, int level);

// Closes the file and frees the handle.
TAVIOLOG_EXPORT void log_close(void* handle);

// 1 for a live handle, else 0.
TAVIOLOG_EXPORT int log_isOpen(void* handle);

TAVIOLOG_EXPORT void log_setLevel(void* handle, int level);

// When a line would make the file grow past this many bytes, the file is renamed to <name>.1
// (replacing an older one) and a new file is started. 0 or less: no limit (the default).
TAVIOLOG_EXPORT void log_setMaximumSize(void* handle, int bytes);

#ifdef __cplusplus
}
#endif
