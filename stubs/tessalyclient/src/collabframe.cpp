#include "tessaly/collabframe.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QJsonValue>

#include <cmath>
#include <limits>

namespace Tessaly {

namespace {

// Reads member \a name as a text; false when it is missing or not a text.
bool readText(const QJsonObject& object, const char* name, QString& out)
{
    const QJsonValue value = object.value(QLatin1String(name));
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

// Reads member \a name as a whole number within [minimum, maximum].
bool readInteger(
    const QJsonObject& object, const char* name, double minimum, double maximum, qint64& out)
{
    const QJsonValue value = object.value(QLatin1String(name));
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number != std::floor(number) || number < minimum
        || number > maximum)
        return false;
    out = qint64(number);
    return true;
}

constexpr double IntMaximum = std::numeric_limits<int>::max();
// Whole numbers above 2^53 lose precision in JSON; the inactivity time stays below that.
constexpr double MillisecondsMaximum = 9007199254740991.0;

CollabFrame decodeObject(const QJsonObject& object)
{
    CollabFrame frame;
    QString type;
    if (!readText(object, "type", type))
        return frame;
    qint64 number = 0;
    bool ok = false;
    if (type == QLatin1String("learnerJoin")) {
        ok = readText(object, "token", frame.learner.token)
            && readText(object, "name", frame.learner.name);
        frame.kind = CollabFrame::LearnerJoin;
    } else if (type == QLatin1String("learnerUnregister")) {
        ok = readText(object, "token", frame.token);
        frame.kind = CollabFrame::LearnerUnregister;
    } else if (type == QLatin1String("pollResponse")) {
        ok = readText(object, "token", frame.token) && readText(object, "pollId", frame.pollId)
            && readInteger(object, "responseTime", 0, IntMaximum, number)
            && readText(object, "response", frame.response);
        frame.responseTime = int(number);
        frame.kind = CollabFrame::PollResponse;
    } else if (type == QLatin1String("controllerRegister")) {
        const QJsonValue value = object.value(QLatin1String("registered"));
        ok = value.isBool();
        frame.flag = value.toBool();
        frame.kind = CollabFrame::ControllerRegister;
    } else if (type == QLatin1String("inactivity")) {
        ok = readInteger(object, "ms", 0, MillisecondsMaximum, frame.ms);
        frame.kind = CollabFrame::Inactivity;
    } else if (type == QLatin1String("remoteControl")) {
        ok = readText(object, "from", frame.remote.from)
            && readText(object, "messageType", frame.remote.type);
        frame.remote.data = object.value(QLatin1String("data")).toVariant();
        frame.kind = CollabFrame::RemoteControl;
    } else if (type == QLatin1String("getQuestion")) {
        ok = readText(object, "token", frame.token)
            && readInteger(object, "question", 0, IntMaximum, number);
        frame.number = int(number);
        frame.kind = CollabFrame::GetQuestion;
    } else if (type == QLatin1String("sessionEnded")) {
        ok = true;
        frame.kind = CollabFrame::SessionEnded;
    } else {
        ok = true;
        frame.kind = type == QLatin1String("collaboration") ? CollabFrame::Collaboration
                                                            : CollabFrame::Unhandled;
        frame.json = object.toVariantMap();
        frame.data = object.value(QLatin1String("data")).toVariant();
    }
    if (!ok)
        return CollabFrame();
    return frame;
}

} // namespace

CollabFrame decodeCollabFrame(const QByteArray& bytes, int nMaxSize)
{
    if (bytes.size() > nMaxSize) {
        CollabFrame frame;
        frame.kind = CollabFrame::Oversize;
        return frame;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return CollabFrame();
    return decodeObject(document.object());
}

} // namespace Tessaly
