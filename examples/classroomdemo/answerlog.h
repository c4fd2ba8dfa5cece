// Every answer of the lesson as it arrives. The library calls the answer callbacks on its packet
// threads while the main thread reads the counts, so all of it is behind one mutex; adding an
// answer only appends to a list and never waits for anything else.
#pragma once

#include <QtCore/QElapsedTimer>
#include <QtCore/QHash>
#include <QtCore/QSet>
#include <QtCore/QString>

#include <mutex>
#include <vector>

namespace ClassroomDemo {

struct Answer
{
    int question = 0; // the question's number, as the hub reported it
    quint32 uid = 0;
    QString value; // as the library delivered it ("yes", "C", MathML for maths, ...)
    qint64 timeMs = 0; // since the lesson started
};

class AnswerLog
{
public:
    // clock: started when the lesson starts; only read here (QElapsedTimer::elapsed is const).
    explicit AnswerLog(const QElapsedTimer& clock);

    // Any thread.
    void add(int question, quint32 uid, const QString& value);

    // How many learners answered the question, and when the last answer came (-1: none yet).
    int learnersAnswered(int question) const;
    qint64 lastArrivalMs(int question) const;
    std::vector<Answer> answers() const;
    // Each learner's last answer to the question, in the order the learners first answered.
    std::vector<Answer> finalAnswers(int question) const;

private:
    const QElapsedTimer& m_clock;
    mutable std::mutex m_mutex;
    std::vector<Answer> m_answers;
    QHash<int, QSet<quint32>> m_learners;
    QHash<int, qint64> m_lastArrival;
};

} // namespace ClassroomDemo

namespace ClassroomDemo {

// Events a library thread reports and the main thread picks up: appending never waits for
// anything but the mutex.
template <typename T>
class EventList
{
public:
    void append(const T& event)
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        m_events.push_back(event);
    }
    std::size_t size() const
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        return m_events.size();
    }
    // The events after the first `seen`; moves `seen` on past them.
    std::vector<T> takeNew(std::size_t& seen) const
    {
        std::lock_guard<std::mutex> locker(m_mutex);
        std::vector<T> news;
        for (; seen < m_events.size(); ++seen)
            news.push_back(m_events[seen]);
        return news;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<T> m_events;
};

} // namespace ClassroomDemo
