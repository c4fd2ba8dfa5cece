// The host's side of a self-paced test, through the library's enhanced question session: every
// answer device asks for the session parameters, then for its questions one by one, and answers
// each at its own pace. The host answers each request the moment it comes and records the
// answers for the lesson to show and save.
#pragma once

#include "answerlog.h"
#include "questions.h"

#include <taviosystem/enhancedquestion.h>
#include <taviosystem/enhancedquestionsession.h>

#include <QtCore/QElapsedTimer>
#include <QtCore/QHash>
#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace Taviosystem {
class TavioSystem;
} // namespace Taviosystem

namespace ClassroomDemo {

// A question of the test as the session sends it. Null, with the reason in error, when the
// question cannot be sent (a message, or maths that does not convert).
std::shared_ptr<const Taviosystem::EnhancedQuestion> enhancedQuestion(
    Taviosystem::TavioSystem& system, int number, const Question& question, QString& error);

// One device's way through the test as the host saw it.
struct SelfPacedDevice
{
    quint32 uid = 0;
    bool started = false; // it asked for the session parameters
    std::set<int> answered; // the question numbers it answered
    qint64 finishedMs = -1; // when the last of its answers came, since the lesson started
    bool shutDown = false; // it left the session early

    // How far it has got, for the progress marks: -1 before it started.
    int progress() const { return started || !answered.empty() ? int(answered.size()) : -1; }
};

// Answers the devices' requests and records their answers. The library calls it on its event
// thread while the lesson reads it on the main thread: everything is behind one mutex, and
// neither side waits for anything else while holding it. What the main thread gets is a deep
// copy (standard containers, not Qt's shared ones, which the event thread would go on changing
// in place). Requests are answered on the event thread, outside the mutex, from questions that
// do not change once the session started.
class SelfPacedHost
{
public:
    // clock: started when the lesson starts; only read here.
    SelfPacedHost(const QElapsedTimer& clock,
        std::vector<std::shared_ptr<const Taviosystem::EnhancedQuestion>> questions,
        const QList<quint32>& devices);

    // Callbacks for every request and answer, with this host as their context.
    Taviosystem::EnhancedQuestionSession::CallbacksInfo callbacks();

    // The expected devices first, in the order given, then any other device that took part.
    std::vector<SelfPacedDevice> devices() const;
    std::vector<Answer> answers() const;
    // When the last request or answer came, since the lesson started (-1: none yet).
    qint64 lastActivityMs() const;
    // Requests the host could not answer, answers it could not read.
    QStringList problems() const;

private:
    static SelfPacedHost* of(void* context) { return static_cast<SelfPacedHost*>(context); }
    static void onParameters(
        Taviosystem::EnhancedQuestionSession* session, quint32 uid, int localeId, void* context);
    static void onQuestion(
        Taviosystem::EnhancedQuestionSession* session, quint32 uid, int number, void* context);
    static void onShutDown(
        Taviosystem::EnhancedQuestionSession* session, quint32 uid, void* context);
    static void onString(Taviosystem::EnhancedQuestionSession* session, quint32 uid, int number,
        const QString& answer, void* context);
    static void onYesNo(Taviosystem::EnhancedQuestionSession* session, quint32 uid, int number,
        Taviosystem::YesNoQuestion::Answer answer, void* context);
    static void onTrueFalse(Taviosystem::EnhancedQuestionSession* session, quint32 uid, int number,
        Taviosystem::TrueFalseQuestion::Answer answer, void* context);
    static void onLikert(Taviosystem::EnhancedQuestionSession* session, quint32 uid, int number,
        int value, void* context);
    static void onText(Taviosystem::EnhancedQuestionSession* session, quint32 uid, int number,
        const QString& answer, void* context, bool valid);

    // The device's entry, created when it is new; notes the activity. Under the mutex.
    SelfPacedDevice& deviceLocked(quint32 uid);
    SelfPacedDevice& activeLocked(quint32 uid);
    void record(quint32 uid, int number, const QString& value);
    void problem(const QString& text);

    const QElapsedTimer& m_clock;
    const std::vector<std::shared_ptr<const Taviosystem::EnhancedQuestion>> m_questions;
    mutable std::mutex m_mutex;
    std::vector<SelfPacedDevice> m_devices;
    QHash<quint32, std::size_t> m_deviceIndex;
    std::vector<Answer> m_answers;
    qint64 m_lastActivityMs = -1;
    std::vector<QString> m_problems;
};

} // namespace ClassroomDemo
