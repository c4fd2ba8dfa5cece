#include "progress.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>
#include <QtCore/QThread>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace ClassroomDemo {

// Waits, processing events, until the condition holds or the time is up.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

namespace {
const int BarWidth = 30;
// Plain lines come at most this often.
const qint64 LineIntervalMs = 200;
// The news shown next to the bar is cut to this many characters.
const int NewsWidth = 28;
// Device marks come in groups of this many; a class of more devices than fit on a line gets the
// answers' bar instead of its marks.
const int MarkGroup = 10;
const int MostMarks = 60;
// A plain line names at most this many devices that finished.
const int MostNames = 8;

QString progressBar(int done, int total)
{
    const int filled = total > 0 ? qBound(0, done * BarWidth / total, BarWidth) : BarWidth;
    return QStringLiteral("[") + QString(filled, QLatin1Char('#'))
        + QString(BarWidth - filled, QLatin1Char('.')) + QStringLiteral("]");
}
} // namespace

QString seconds(qint64 ms) { return QString::number(double(ms) / 1000.0, 'f', 2) + " s"; }

Progress::Progress(QTextStream& out, bool interactive, const QString& unit)
    : m_out(out)
    , m_interactive(interactive)
    , m_unit(unit)
{
}

bool Progress::stdoutIsTerminal() { return isatty(fileno(stdout)) == 1; }

void Progress::update(int done, int total, qint64 elapsedMs, const QString& news)
{
    if (!news.isEmpty())
        m_pendingNews += (m_pendingNews.isEmpty() ? QString() : QStringLiteral(", ")) + news;
    if (m_interactive) {
        QString latest = news.isEmpty() ? QString() : news;
        if (latest.size() > NewsWidth)
            latest = latest.left(NewsWidth - 3) + QStringLiteral("...");
        // Redrawn in place: carriage return, the line, then clear what an older line left.
        m_out << "\r  " << progressBar(done, total) << ' ' << done << '/' << total << ' ' << m_unit
              << "  " << seconds(elapsedMs) << (latest.isEmpty() ? QString() : "  " + latest)
              << "\x1b[K";
        m_out.flush();
        m_pendingNews.clear();
        return;
    }
    if (done == 0 || done == m_shown
        || (m_lastLineMs >= 0 && elapsedMs - m_lastLineMs < LineIntervalMs))
        return;
    m_out << "  " << done << '/' << total << ' ' << m_unit << " after " << seconds(elapsedMs);
    if (!m_pendingNews.isEmpty())
        m_out << ": " << m_pendingNews;
    m_out << '\n';
    m_out.flush();
    m_shown = done;
    m_lastLineMs = elapsedMs;
    m_pendingNews.clear();
}

void Progress::finish(int done, int total, qint64 elapsedMs, const QString& outcome)
{
    if (m_interactive) {
        m_out << "\r  " << progressBar(done, total) << ' ' << done << '/' << total << ' ' << m_unit
              << "  " << seconds(elapsedMs) << "  " << outcome << "\x1b[K\n";
    } else {
        m_out << "  " << done << '/' << total << ' ' << m_unit << " after " << seconds(elapsedMs);
        if (!m_pendingNews.isEmpty())
            m_out << ": " << m_pendingNews;
        m_out << " (" << outcome << ")\n";
    }
    m_out.flush();
    m_pendingNews.clear();
}

DeviceProgress::DeviceProgress(QTextStream& out, bool interactive, int questions)
    : m_out(out)
    , m_interactive(interactive)
    , m_questions(questions)
{
}

QString DeviceProgress::marks(const std::vector<int>& answered) const
{
    int answers = 0;
    for (int count : answered)
        answers += qMax(0, count);
    const int total = int(answered.size()) * m_questions;
    if (answered.size() > std::size_t(MostMarks))
        return progressBar(answers, total);
    QString text = QStringLiteral("[");
    for (std::size_t i = 0; i < answered.size(); ++i) {
        if (i > 0 && i % MarkGroup == 0)
            text += QLatin1Char(' ');
        const int count = answered[i];
        text += count < 0          ? QChar(u'.')
            : count >= m_questions ? QChar(u'#')
            : count < 10           ? QChar(u'0' + char16_t(count))
                                   : QChar(u'+');
    }
    return text + QLatin1Char(']');
}

QString DeviceProgress::counts(const std::vector<int>& answered) const
{
    int answers = 0;
    int finished = 0;
    for (int count : answered) {
        answers += qMax(0, count);
        finished += count >= m_questions ? 1 : 0;
    }
    return QStringLiteral("%1/%2 answers, %3/%4 finished")
        .arg(answers)
        .arg(int(answered.size()) * m_questions)
        .arg(finished)
        .arg(answered.size());
}

QString DeviceProgress::finishedNames() const
{
    if (m_finished.size() <= MostNames)
        return m_finished.join(QStringLiteral(", "));
    return m_finished.mid(0, MostNames).join(QStringLiteral(", "))
        + QStringLiteral(" and %1 more").arg(m_finished.size() - MostNames);
}

void DeviceProgress::update(
    const std::vector<int>& answered, qint64 elapsedMs, const QStringList& finished)
{
    m_finished << finished;
    const QString shown = marks(answered);
    if (m_interactive) {
        m_out << "\r  " << shown << ' ' << counts(answered) << "  " << seconds(elapsedMs)
              << "\x1b[K";
        m_out.flush();
        m_finished.clear();
        return;
    }
    const bool started
        = std::any_of(answered.begin(), answered.end(), [](int count) { return count >= 0; });
    if (!started || shown == m_shown
        || (m_lastLineMs >= 0 && elapsedMs - m_lastLineMs < LineIntervalMs))
        return;
    m_out << "  " << shown << ' ' << counts(answered) << " after " << seconds(elapsedMs);
    if (!m_finished.isEmpty())
        m_out << "; done: " << finishedNames();
    m_out << '\n';
    m_out.flush();
    m_shown = shown;
    m_lastLineMs = elapsedMs;
    m_finished.clear();
}

void DeviceProgress::finish(const std::vector<int>& answered, qint64 elapsedMs,
    const QStringList& finished, const QString& outcome)
{
    m_finished << finished;
    if (m_interactive) {
        m_out << "\r  " << marks(answered) << ' ' << counts(answered) << "  " << seconds(elapsedMs)
              << "  " << outcome << "\x1b[K\n";
    } else {
        m_out << "  " << marks(answered) << ' ' << counts(answered) << " after "
              << seconds(elapsedMs);
        if (!m_finished.isEmpty())
            m_out << "; done: " << finishedNames();
        m_out << " (" << outcome << ")\n";
    }
    m_out.flush();
    m_finished.clear();
}

} // namespace ClassroomDemo
