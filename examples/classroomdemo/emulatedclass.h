// The classroom the demo stands in for: emulated 2.4 GHz receivers plugged into this machine and,
// on the first one, a class of learners with answer devices waiting to register. Everything the
// learners do comes from --seed, so a run repeats itself: the live answers from one generator,
// each self-paced answer from a generator of its own (the seed, the device and the question),
// since devices working at their own pace ask for their questions in no fixed order.
//
// Only the setup and the simulated learners use the emulator's control interface; the lesson
// itself talks to the hardware through the public library interface alone.
#pragma once

#include "questions.h"

#include <QtCore/QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace ClassroomDemo {

struct Learner
{
    quint32 uid = 0;
    quint16 address = 0;
    QString name; // the name the device registers with
    bool secondGeneration = false;
    double skill = 0.5; // the chance of giving the expected answer
};

struct ClassSettings
{
    int hubs = 1;
    int size = 30;
    std::uint32_t seed = 1;
    QString pin = QStringLiteral("ABC");
    double silence = 0.1; // the chance that a learner stays silent at a question
    int minimumDelayMs = 5; // how long learners take to answer
    int maximumDelayMs = 60;
    // Self-paced tests: each device's pace, drawn once per test (it waits this long before each
    // request and each answer), and the share of the radio's chunks and acknowledgements lost.
    int selfPacedMinimumDelayMs = 10;
    int selfPacedMaximumDelayMs = 70;
    double loss = 0.1;
    // The first receiver is a software hub (record kind 4) whose PINs come from the discovery
    // server; its device path names the server's host.
    bool virtualHub = false;
};

// What the emulated radio went through during a self-paced test (the emulator's count: the
// host cannot see lost packets, only the repeats they cause).
struct RadioCounts
{
    int chunkCommands = 0; // chunks radioed to the devices, lost ones included
    int chunksLost = 0;
    int acksSent = 0;
    int acksLost = 0;
    int abandonedMessages = 0; // that the hub gave up on after too many chunks in vain
};

class EmulatedClass
{
public:
    explicit EmulatedClass(const ClassSettings& settings);
    ~EmulatedClass();

    // Plugs the receivers in; the first one holds the class, waiting for a registration window
    // with the PIN. Call before the system is initialised.
    void plugIn();

    const std::vector<Learner>& learners() const;
    // The longest a learner takes to join a registration window, in milliseconds.
    int longestJoinDelayMs() const;

    // The question the teacher is about to ask: the learners answer it when it reaches them.
    // Call on the thread that starts the question.
    void setQuestion(const Question& question);

    // The self-paced test the host is about to run, question 1 first: the devices answer each
    // question they are sent from it. Call before the session starts.
    void setSelfPacedQuestions(const QList<Question>& questions);
    RadioCounts radioCounts() const;

private:
    struct State;
    std::shared_ptr<State> d;
};

} // namespace ClassroomDemo
