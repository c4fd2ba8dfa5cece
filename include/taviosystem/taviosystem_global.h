#pragma once

#include <QtCore/qglobal.h>

//! \cond internal
#if defined(TAVIOSYSTEM_LIBRARY)
#define TAVIOSYSTEM_EXPORT Q_DECL_EXPORT
#elif defined(TAVIOSYSTEM_STATIC)
#define TAVIOSYSTEM_EXPORT
#else
#define TAVIOSYSTEM_EXPORT Q_DECL_IMPORT
#endif
//! \endcond

/*!
    Everything the library exports: the system, the hubs, their devices and sessions.
*/
namespace Taviosystem {

/*!
    Names a receiver while it is attached: the board library's handle, or a fixed value for the
    two virtual server hubs. The host receives it with TavioSystem::newTavioHubConnected() and
    TavioSystem::newLegacyHubConnected() and passes it to the system's per-handle operations.
*/
typedef int HubHandle_t;

/*!
    What an event on the system's event queue asks for (see TavioSystem::asPostEvent()). Hosts
    only meet it in AbstractAsEventHandler::handleAsEvent().
*/
enum EventType : int {
    EventType_HubsChanged = 0, //!< The system: run hub discovery again.
    EventType_ReadDeviceLists = 1, //!< A hub: re-read its registered device lists.
    EventType_AsyncPacket = 2, //!< A session handler: one asynchronous session packet.
    EventType_GenericAsyncPacket = 3 //!< A session handler or virtual hub: one generic packet.
};

/*!
    The unit of a question's time limit: TimeUnit_1 sets the top bit of the question's time byte.
*/
enum TimeUnit {
    TimeUnit_0 = 0, //!< The first unit.
    TimeUnit_1 = 1 //!< The second unit.
};

/*!
    How the options of a question are labelled on the devices, and so how answers are written.
*/
enum DisplayOption {
    DisplayOption_Digits = 0, //!< 1 to 6.
    DisplayOption_LowerCaseLetters = 1, //!< a to f.
    DisplayOption_UpperCaseLetters = 2 //!< A to F.
};

/*!
    The character set of end-user names typed on the devices; any other value is sent as 0.
*/
enum CharacterType {
    CharacterType_1 = 1, //!< Character set 1.
    CharacterType_2 = 2, //!< Character set 2.
    CharacterType_3 = 3, //!< Character set 3.
    CharacterType_4 = 4 //!< Character set 4.
};

} // namespace Taviosystem
