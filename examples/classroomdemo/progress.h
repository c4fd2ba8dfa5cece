// Live progress of a registration window or a question: a bar redrawn in place on a terminal,
// plain lines (at most a few a second) when the output goes to a file or a pipe.
#pragma once

#include <QtCore/QString>
#include <QtCore/QTextStream>

namespace ClassroomDemo {

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
    QString bar(int done, int total) const;

    QTextStream& m_out;
    bool m_interactive;
    QString m_unit;
    int m_shown = -1;
    qint64 m_lastLineMs = -1;
    QString m_pendingNews;
};

} // namespace ClassroomDemo
