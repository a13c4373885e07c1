#pragma once
// Every file a save writes is an OutputFile, so that all output passes one place
// where a write can fail: the system's own failures, and those a test asks for
// (the Nth write from now, with ENOSPC or EIO) without a full disk or root.
#include <QFile>
#include <QString>

class OutputFile : public QFile
{
public:
    OutputFile() = default;
    explicit OutputFile(const QString &path) : QFile(path) {}

    // Why the last write failed, in the system's words; a write the system cut
    // short without an error is said to be cut short.
    QString failure() const;

protected:
    qint64 writeData(const char *data, qint64 size) override;

private:
    QString m_failure;
};

// For tests: the nth write into any OutputFile from now on (1: the next one) writes
// partialBytes of its data and then fails with errorNumber. Returns the writes
// counted since the last call, so a test can tell whether its failure was reached.
qint64 failOutputWrite(qint64 nth, int errorNumber, qint64 partialBytes = 0);
// True when the failure asked for has happened.
bool outputFailureHappened();
