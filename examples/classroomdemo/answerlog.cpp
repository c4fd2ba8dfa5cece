#include "answerlog.h"

#include <algorithm>

namespace ClassroomDemo {

AnswerLog::AnswerLog(const QElapsedTimer& clock)
    : m_clock(clock)
{
}

void AnswerLog::add(int question, quint32 uid, const QString& value)
{
    const qint64 now = m_clock.elapsed();
    std::lock_guard<std::mutex> locker(m_mutex);
    m_answers.push_back(Answer { question, uid, value, now });
    m_learners[question].insert(uid);
    m_lastArrival[question] = now;
}

int AnswerLog::learnersAnswered(int question) const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return int(m_learners.value(question).size());
}

qint64 AnswerLog::lastArrivalMs(int question) const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return m_lastArrival.value(question, -1);
}

std::vector<Answer> AnswerLog::answers() const
{
    std::lock_guard<std::mutex> locker(m_mutex);
    return m_answers;
}

std::vector<Answer> AnswerLog::finalAnswers(int question) const
{
    std::vector<Answer> result;
    std::lock_guard<std::mutex> locker(m_mutex);
    for (const Answer& answer : m_answers) {
        if (answer.question != question)
            continue;
        const auto earlier = std::find_if(
            result.begin(), result.end(), [&](const Answer& a) { return a.uid == answer.uid; });
        if (earlier == result.end())
            result.push_back(answer);
        else
            *earlier = answer;
    }
    return result;
}

} // namespace ClassroomDemo
