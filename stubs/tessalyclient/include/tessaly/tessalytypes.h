// Value types and enumerations of the cloud client library.
#pragma once

#include "tessalyclient_global.h"

#include <QtCore/QMetaType>
#include <QtCore/QString>
#include <QtCore/QVariant>

namespace Tessaly {

/*! The kinds of cloud poll, as the collaboration's \c startPoll takes them.
    The numbers are those the service knows; values not listed are not used. */
namespace PollType {
enum POLL_TYPE {
    POLL_TYPE_TRUE_FALSE = 0,
    POLL_TYPE_YES_NO = 1,
    POLL_TYPE_MULTIPLE_CHOICE = 2,
    POLL_TYPE_SCALE = 3,
    POLL_TYPE_SORT = 4,
    POLL_TYPE_TEXT = 5,
    POLL_TYPE_NUMERIC = 7,
    POLL_TYPE_MATH = 9
};
} // namespace PollType

/*! How a poll's options are labelled on the learners' screens. */
namespace OrdinalType {
enum ORDINAL_TYPE {
    ORDINAL_TYPE_TRUE_FALSE = 0,
    ORDINAL_TYPE_YES_NO = 1,
    ORDINAL_TYPE_YES_NO_UNSURE = 3,
    ORDINAL_TYPE_UPPER_LETTERS = 5,
    ORDINAL_TYPE_LOWER_LETTERS = 6,
    ORDINAL_TYPE_NUMBERS = 7,
    ORDINAL_TYPE_NONE = 10
};
} // namespace OrdinalType

/*! A learner in the teacher's cloud session: the user token first, the display name second. */
struct TESSALYCLIENT_EXPORT Learner
{
    Learner() = default;
    Learner(const QString& userToken, const QString& displayName)
        : token(userToken)
        , name(displayName)
    {
    }
    QString token; //!< The learner's user token; stable across rejoins.
    QString name; //!< The learner's display name.
};

} // namespace Tessaly

/*! A remote-control message sent to the presenter by another of the teacher's devices. */
struct TESSALYCLIENT_EXPORT RemoteControlMessage
{
    QString from; //!< Who sent it.
    QString type; //!< What it asks for.
    QVariant data; //!< Its payload, as the sender gave it.
};

Q_DECLARE_METATYPE(Tessaly::Learner)
Q_DECLARE_METATYPE(RemoteControlMessage)
