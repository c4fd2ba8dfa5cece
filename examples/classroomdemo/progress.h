// Live progress of a registration window or a question: a bar redrawn in place on a terminal,
// plain lines (at most a few a second) when the output goes to a file or a pipe.
#pragma once

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QTextStream>

#include <functional>
#include <vector>

namespace ClassroomDemo {

// Waits, processing events, until the condition holds or the time is up.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

// A duration as the lesson shows it: "1.25 s".
QString seconds(qint64 ms);

class Progress
{
public:
    // interactive: draw the bar with carriage returns; otherwise print plain lines.
    Progress(QTextStream& out, bool interactive, const QString& unit);

    // done out of total after elapsedMs; news is what happened since the last update (names
    // that joined, say), shown with the bar or on the next plain line.
    void update(int done, int total, qint64 elapsedMs, const QString& news = QString());
    // The last state and how it ended, then a new line.
    void finish(int done, int total, qint64 elapsedMs, const QString& outcome);

    // Whether stdout is a terminal.
    static bool stdoutIsTerminal();

private:
    QTextStream& m_out;
    bool m_interactive;
    QString m_unit;
    int m_shown = -1;
    qint64 m_lastLineMs = -1;
    QString m_pendingNews;
};

// Live progress of a self-paced test, one mark per device in a fixed order: '.' before it asked
// for its session, then how many questions it has answered, '#' once it has answered them all.
// Redrawn in place on a terminal, a plain line (at most a few a second) for each change
// otherwise. A class too large for a line of marks gets the answers' bar instead.
class DeviceProgress
{
public:
    DeviceProgress(QTextStream& out, bool interactive, int questions);

    // answered: per device the questions answered, -1 before it started; finished: the devices
    // that finished since the last update, named on the next plain line.
    void update(const std::vector<int>& answered, qint64 elapsedMs, const QStringList& finished);
    void finish(const std::vector<int>& answered, qint64 elapsedMs, const QStringList& finished,
        const QString& outcome);

private:
    QString marks(const std::vector<int>& answered) const;
    QString counts(const std::vector<int>& answered) const;
    QString finishedNames() const;

    QTextStream& m_out;
    bool m_interactive;
    int m_questions;
    QString m_shown;
    qint64 m_lastLineMs = -1;
    QStringList m_finished;
};

} // namespace ClassroomDemo
