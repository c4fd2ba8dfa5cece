// A whole cloud lesson driven from a host thread of its own while the system's thread runs its
// event loop, as a host with a worker thread would: every call is carried to the system's thread
// and waited for. Run under ThreadSanitizer too.

#include "cloudfixture.h"

#include <atomic>
#include <thread>

using namespace Taviosystem;
using namespace TavioTest;

namespace {

struct Reply
{
    quint32 uid;
    QString text;
};

void choiceAnswer(Hub*, unsigned int uid, int, const QString& text, void* context)
{
    static_cast<Recorder<Reply>*>(context)->append({ uid, text });
}

void yesNoAnswer(Hub*, unsigned int uid, int, Hub::YesNoResponse answer, void* context)
{
    static_cast<Recorder<Reply>*>(context)->append({ uid, QString::number(int(answer)) });
}

// Polls `condition` from the host thread (the system's thread handles the events meanwhile).
bool waitOnHostThread(const std::function<bool()>& condition)
{
    for (int i = 0; i < 1000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(5ms);
    }
    return false;
}

} // namespace

TEST_F(CloudTest, AWholeLessonFromAHostThread)
{
    const QStringList tokens = { QStringLiteral("t1"), QStringLiteral("t2"), QStringLiteral("t3"),
        QStringLiteral("t4") };
    for (const QString& token : tokens)
        service.addLearner(token, QStringLiteral("Learner ") + token);

    Recorder<Reply> choices;
    Recorder<Reply> yesNos;
    std::atomic<bool> done { false };
    std::atomic<int> failures { 0 };
    auto check = [&](bool ok) {
        if (!ok)
            ++failures;
        return ok;
    };

    std::thread host([&] {
        if (check(system->tessalyLogin(service.url(), Teacher, Password))
            && check(system->tessalyStartSession())) {
            Hub* cloud = nullptr;
            QList<Hub*> hubs;
            system->getHubList(&hubs);
            for (Hub* h : std::as_const(hubs))
                if (h->isTessalyHub())
                    cloud = h;
            check(cloud != nullptr);
            for (const QString& token : tokens)
                check(service.joinLearner(token));
            check(waitOnHostThread([&] {
                QList<DeviceDisplayInfo> list;
                system->getTavioExpressionDisplayInfoList(CloudHandle, list);
                return list.size() == tokens.size();
            }));
            if (cloud) {
                check(cloud->startMultichoiceSession(1, 4, 1, DisplayOption_UpperCaseLetters,
                    TimeUnit_0, 0, choiceAnswer, &choices));
                for (int i = 0; i < tokens.size(); ++i)
                    check(service.answerPoll(tokens[i], QString::number(i)));
                check(
                    waitOnHostThread([&] { return choices.size() == std::size_t(tokens.size()); }));
                check(cloud->stopSession());
                check(cloud->startYesNoSession(2, false, TimeUnit_0, 0, yesNoAnswer, &yesNos));
                for (const QString& token : tokens)
                    check(service.answerPoll(token, QStringLiteral("0")));
                check(
                    waitOnHostThread([&] { return yesNos.size() == std::size_t(tokens.size()); }));
                check(cloud->stopSession());
                RegistrationCode pin;
                check(cloud->asGetRegistrationPin(pin));
            }
            system->tessalyLogout();
        }
        done = true;
    });
    const bool finished = waitFor([&] { return done.load(); }, 60000ms);
    host.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(failures.load(), 0);
    QStringList letters;
    for (const Reply& reply : choices.values())
        letters << reply.text;
    letters.sort();
    EXPECT_EQ(letters, (QStringList { "A", "B", "C", "D" }));
    for (const Reply& reply : yesNos.values())
        EXPECT_EQ(reply.text, QString::number(int(Hub::YesNoResponse_Yes)));
    EXPECT_FALSE(service.sessionRunning());
}
