// Decoding of the frames the cloud service sends over the collaboration socket.
//
// A frame is a JSON object (UTF-8 text) with a "type" member naming its kind. The decoder is a
// pure function: it never allocates more than the frame's own size and never throws.
#pragma once

#include "tessalyclient_global.h"
#include "tessalytypes.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QVariantMap>

namespace Tessaly {

/*! One decoded frame from the service. */
struct TESSALYCLIENT_EXPORT CollabFrame
{
    enum Kind {
        Malformed, //!< Not a JSON object with a text "type", or a known kind with bad members.
        Oversize, //!< Longer than the limit; the socket must be closed.
        LearnerJoin, //!< "learnerJoin": learner
        LearnerUnregister, //!< "learnerUnregister": token
        PollResponse, //!< "pollResponse": token, pollId, responseTime, response
        ControllerRegister, //!< "controllerRegister": flag
        Inactivity, //!< "inactivity": ms
        RemoteControl, //!< "remoteControl": remote
        GetQuestion, //!< "getQuestion": token, number
        Collaboration, //!< "collaboration": json, data
        SessionEnded, //!< "sessionEnded"
        Unhandled //!< any other "type": json, data
    };
    Kind kind = Malformed;
    Learner learner;
    QString token;
    QString pollId;
    int responseTime = 0;
    QString response;
    bool flag = false;
    qint64 ms = 0;
    int number = 0;
    RemoteControlMessage remote;
    QVariantMap json;
    QVariant data;
};

/*! Decodes \a frame, refusing frames longer than \a nMaxSize bytes as Oversize.
    Malformed input gives CollabFrame::Malformed. */
TESSALYCLIENT_EXPORT CollabFrame decodeCollabFrame(const QByteArray& frame, int nMaxSize);

} // namespace Tessaly
