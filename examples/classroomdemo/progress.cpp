#include "progress.h"

#include <cstdio>
#include <unistd.h>

namespace ClassroomDemo {

namespace {
const int BarWidth = 30;
// Plain lines come at most this often.
const qint64 LineIntervalMs = 200;
// The news shown next to the bar is cut to this many characters.
const int NewsWidth = 28;

QString seconds(qint64 ms) { return QString::number(double(ms) / 1000.0, 'f', 2) + " s"; }
} // namespace

Progress::Progress(QTextStream& out, bool interactive, const QString& unit)
    : m_out(out)
    , m_interactive(interactive)
    , m_unit(unit)
{
}

bool Progress::stdoutIsTerminal() { return isatty(fileno(stdout)) == 1; }

QString Progress::bar(int done, int total) const
{
    const int filled = total > 0 ? qBound(0, done * BarWidth / total, BarWidth) : BarWidth;
    return QStringLiteral("[") + QString(filled, QLatin1Char('#'))
        + QString(BarWidth - filled, QLatin1Char('.')) + QStringLiteral("]");
}

void Progress::update(int done, int total, qint64 elapsedMs, const QString& news)
{
    if (!news.isEmpty())
        m_pendingNews += (m_pendingNews.isEmpty() ? QString() : QStringLiteral(", ")) + news;
    if (m_interactive) {
        QString latest = news.isEmpty() ? QString() : news;
        if (latest.size() > NewsWidth)
            latest = latest.left(NewsWidth - 3) + QStringLiteral("...");
        // Redrawn in place: carriage return, the line, then clear what an older line left.
        m_out << "\r  " << bar(done, total) << ' ' << done << '/' << total << ' ' << m_unit << "  "
              << seconds(elapsedMs) << (latest.isEmpty() ? QString() : "  " + latest) << "\x1b[K";
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
        m_out << "\r  " << bar(done, total) << ' ' << done << '/' << total << ' ' << m_unit << "  "
              << seconds(elapsedMs) << "  " << outcome << "\x1b[K\n";
    } else {
        m_out << "  " << done << '/' << total << ' ' << m_unit << " after " << seconds(elapsedMs);
        if (!m_pendingNews.isEmpty())
            m_out << ": " << m_pendingNews;
        m_out << " (" << outcome << ")\n";
    }
    m_out.flush();
    m_pendingNews.clear();
}

} // namespace ClassroomDemo
