#pragma once

// A CUPS scheduler of the test's own: configuration, spool, cache, state and
// logs in a folder of the build tree, listening only on a socket there, with
// queues whose device is a file: every job's output is a PDF the test reads
// back. CUPS_SERVER points at it while it exists. The machine's /etc/cups and
// any scheduler already running are never touched.

#include <QProcess>
#include <QString>
#include <QStringList>

class PrivateCups
{
public:
    // Starts the scheduler with one queue per name (trays top, bottom, manual);
    // `settings` are further lines of its cupsd.conf.
    PrivateCups(const QString& folder, const QStringList& queues, const QByteArray& settings = {});
    ~PrivateCups(); // stops it and removes the folder

    bool running() const { return cupsd_.state() == QProcess::Running; }
    void stop();
    QString output(const QString& queue) const; // the PDF the queue's last job wrote
    QString folder() const { return folder_; }

    // The job numbers the scheduler knows, and one attribute of a job as text.
    QList<int> jobs();
    QString jobAttribute(int job, const char* name);

private:
    void lpadmin(const QStringList& arguments);

    QString folder_;
    QString socket_;
    QProcess cupsd_;
};
