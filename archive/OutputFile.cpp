#include "archive/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {
// Saves run on the saving thread while tests set the failure on theirs.
std::atomic<qint64> writesUntilFailure{0}; // 0: no failure asked for
std::atomic<qint64> writesCounted{0};
std::atomic<int> failureErrno{0};
std::atomic<qint64> failurePartialBytes{0};
std::atomic<bool> failureHappened{false};
} // namespace

qint64 failOutputWrite(qint64 nth, int errorNumber, qint64 partialBytes)
{
    failureErrno = errorNumber;
    failurePartialBytes = partialBytes;
    failureHappened = false;
    writesUntilFailure = nth;
    return writesCounted.exchange(0);
}

bool outputFailureHappened() { return failureHappened; }

QString OutputFile::failure() const
{
    if (!m_failure.isEmpty())
        return m_failure;
    if (error() != QFileDevice::NoError)
        return errorString();
    return QStringLiteral("only part of it was written (is the disk full?)");
}

qint64 OutputFile::writeData(const char *data, qint64 size)
{
    ++writesCounted;
    qint64 until = writesUntilFailure.load();
    while (until > 0 && !writesUntilFailure.compare_exchange_weak(until, until - 1)) {
    }
    if (until == 1) {
        const qint64 partial = qBound<qint64>(0, failurePartialBytes.load(), size);
        if (partial > 0)
            QFile::writeData(data, partial);
        m_failure = QString::fromLocal8Bit(strerror(failureErrno.load()));
        failureHappened = true;
        setErrorString(m_failure);
        return -1;
    }
    const qint64 written = QFile::writeData(data, size);
    if (written < 0)
        m_failure = errorString();
    return written;
}
