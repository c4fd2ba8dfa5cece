#include <taviosystem/hub.h>
#include <taviosystem/taviosystem.h>

#include <cstdio>

int main()
{
    using namespace Taviosystem;
    TavioSystem& system = TavioSystem::instance();
    system.setHardwareLibraryName(QStringLiteral("/nonexistent/libtavioboardex.so"));
    const bool initialised = system.initialise();
    std::printf("version %d, initialised %d, error %s\n", TavioSystem::getLibraryVersion(),
        int(initialised), qPrintable(TavioSystem::errorAsString(system.getLastError())));
    return !initialised && system.getLastError() == TavioSystem::Error_DriverNotInstalled ? 0 : 1;
}
