#pragma once

#include <QtCore/qglobal.h>

#if defined(TAVIOSYSTEM_LIBRARY)
#define TAVIOSYSTEM_EXPORT Q_DECL_EXPORT
#elif defined(TAVIOSYSTEM_STATIC)
#define TAVIOSYSTEM_EXPORT
#else
#define TAVIOSYSTEM_EXPORT Q_DECL_IMPORT
#endif

namespace Taviosystem {

// Names a receiver while it is attached: the board library's handle, or a fixed value for
// the two virtual server hubs.
typedef int HubHandle_t;

// What an event on the system's event queue asks for.
enum EventType : int {
    EventType_HubsChanged = 0, // the system: run hub discovery again
    EventType_ReadDeviceLists = 1, // a hub: re-read its registered device lists
    EventType_AsyncPacket = 2, // a session handler: one asynchronous session packet
    EventType_GenericAsyncPacket = 3 // a session handler or virtual hub: one generic packet
};

// How long a question stays open: TimeUnit_1 sets the top bit of the question's time byte.
enum TimeUnit { TimeUnit_0 = 0, TimeUnit_1 = 1 };

// How the options of a question are labelled on the devices.
enum DisplayOption {
    DisplayOption_Digits = 0,
    DisplayOption_LowerCaseLetters = 1,
    DisplayOption_UpperCaseLetters = 2
};

// Character set codes of end-user names.
enum CharacterType {
    CharacterType_1 = 1,
    CharacterType_2 = 2,
    CharacterType_3 = 3,
    CharacterType_4 = 4
};

} // namespace Taviosystem
