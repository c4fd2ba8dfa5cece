// The reduced library: missing optional functions, no control interface, its own state.
#include "emulator_test_support.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

using namespace EmulatorTests;

namespace {

const char* const missingFunctions[] = {
    "tavioAttach",
    "tavioGetTouchDestination",
    "tavioGetTouchSystemRedirectionEnabled",
    "tavioSetTouchDestinationEx",
    "tavioSetPointingDeviceDestinationEx",
    "tavioGetLATEDetection",
    "tavioGetPointingDeviceDestination",
};

const char* const presentFunctions[] = {
    "tavioDetach",
    "tavioGetDeviceCount",
    "tavioEnumDeviceInfo",
    "tavioSetTouchDestination",
    "tavioLock",
    "tavioemuTouchDestination",
    "tavioemuPenDestination",
};

using MinimalLibraryTest = EmulatorTest;

TEST_F(MinimalLibraryTest, LacksTheOptionalFunctionsAndKeepsItsOwnState)
{
    ::setenv("TAVIOEMU_MINIMAL_HUBS", "3", 1);
    void* library = ::dlopen(TAVIOEMU_MINIMAL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ::unsetenv("TAVIOEMU_MINIMAL_HUBS"); // read when the library was loaded
    ASSERT_NE(library, nullptr) << ::dlerror();

    for (const char* name : missingFunctions)
        EXPECT_EQ(::dlsym(library, name), nullptr) << name;
    for (const char* name : presentFunctions) {
        void* symbol = ::dlsym(library, name);
        ASSERT_NE(symbol, nullptr) << name;
        Dl_info info {};
        ASSERT_NE(::dladdr(symbol, &info), 0);
        EXPECT_NE(std::strstr(info.dli_fname, "tavioboardex_minimal"), nullptr) << name;
    }
    EXPECT_EQ(::dlsym(library, "_ZN13TavioEmulator8Emulator8instanceEv"), nullptr);

    emu().addHub({}); // the full library's emulator, not seen through the reduced one
    using CountFn = int (*)();
    using EnumFn = unsigned char (*)(int, void*);
    auto count = reinterpret_cast<CountFn>(::dlsym(library, "tavioGetDeviceCount"));
    auto enumerate = reinterpret_cast<EnumFn>(::dlsym(library, "tavioEnumDeviceInfo"));
    ASSERT_EQ(count(), 3);
    for (int index = 0; index < 3; ++index) {
        unsigned char record[1024] = {};
        ASSERT_EQ(enumerate(index, record), 1);
        std::int32_t kind = 0;
        std::int32_t handle = 0;
        std::uint32_t serialLow = 0;
        std::memcpy(&kind, record + 4, 4);
        std::memcpy(&handle, record + 20, 4);
        std::memcpy(&serialLow, record + 24, 4);
        EXPECT_EQ(kind, 3);
        EXPECT_EQ(handle, index + 1);
        EXPECT_EQ(serialLow, 0x1000u + std::uint32_t(index + 1));
    }
    EXPECT_EQ(tavioGetDeviceCount(), 1);

    // The settings stored through the reduced library can be read back through it.
    using SetTouchFn = void (*)(int, unsigned char);
    using SetPenFn = void (*)(int, unsigned char, int, unsigned char);
    using PeekTouchFn = unsigned char (*)(int);
    using PeekPenFn = unsigned char (*)(int, unsigned char);
    reinterpret_cast<SetTouchFn>(::dlsym(library, "tavioSetTouchDestination"))(2, 4);
    reinterpret_cast<SetPenFn>(::dlsym(library, "tavioSetPointingDeviceDestination"))(3, 1, 1, 2);
    EXPECT_EQ(reinterpret_cast<PeekTouchFn>(::dlsym(library, "tavioemuTouchDestination"))(2), 4);
    EXPECT_EQ(reinterpret_cast<PeekPenFn>(::dlsym(library, "tavioemuPenDestination"))(3, 1), 2);

    ::dlclose(library);
}

} // namespace
