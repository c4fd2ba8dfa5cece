#pragma once

// Qt HTTP Server builds a TLS configuration when it is made, and Qt's OpenSSL backend keeps what
// it parsed for that, and OpenSSL its global tables, in process-wide state that is never freed.
// The leak checker of sanitizer builds is told to ignore exactly those allocations in every
// process that runs a reference server. Weak, so that each server may carry it and a program may
// give its own list. Include this in one source file of each server.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions()
{
    return "leak:libqopensslbackend.so\nleak:libcrypto.so\n";
}
