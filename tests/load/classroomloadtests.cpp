// The classroom load scenario at a small size (2 hubs with 50 learners each): every answer of a
// burst reaches the host exactly once, with the learner's uid, its own answer and the question
// asked, by callback and by signal. The timing goals are the benchmark's (bench/classroomload.cpp).

#include "support/classroomload.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using TavioTest::ClassroomLoad;

namespace {

void expectEveryAnswerOnce(const ClassroomLoad::Result& result)
{
    EXPECT_EQ(result.expected, 100);
    EXPECT_EQ(result.received, 100);
    EXPECT_EQ(result.lost, 0);
    EXPECT_EQ(result.duplicated, 0);
    EXPECT_EQ(result.wrong, 0);
    EXPECT_EQ(result.untimed, 0);
    EXPECT_EQ(result.latencies.size(), 100u);
}

TEST(ClassroomLoadTest, EveryAnswerReachesTheHostOnce)
{
    ClassroomLoad load(2, 50);
    ASSERT_TRUE(load.start());
    using Consumer = ClassroomLoad::Consumer;
    for (const Consumer consumer :
        { Consumer::Callback, Consumer::DirectSignal, Consumer::QueuedSignal }) {
        SCOPED_TRACE(int(consumer));
        // Two questions in a row: the second's answers carry the second question's id.
        expectEveryAnswerOnce(load.askQuestion({ consumer, 0, 0ms }, 5000ms));
        expectEveryAnswerOnce(load.askQuestion({ consumer, 0, 20ms }, 5000ms));
    }
}

} // namespace
