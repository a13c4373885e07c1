#pragma once
// Every file a save writes is an OutputFile, so that all output passes one place
// where a write can fail: the system's own failures, and those a test asks for
// (the Nth write from now, with ENOSPC or EIO) without a full disk or root.
//
// Output is created below an OutputDirectory, a directory held open: every name below
// it is resolved from the open directory, never again from its path, and neither a
// folder nor a file is ever followed through a symbolic link. Renaming the destination
// while a save runs and putting a link in its place cannot send a write elsewhere, and
// a FIFO or device planted where a file goes is refused instead of blocking the save.
#include <QFile>
#include <QString>

class OutputDirectory
{
public:
    OutputDirectory() = default;
    ~OutputDirectory();
    OutputDirectory(const OutputDirectory &) = delete;
    OutputDirectory &operator=(const OutputDirectory &) = delete;

    // Opens path, which must be a directory and not itself a symbolic link (the
    // folders above it are the user's to choose). False with the reason.
    bool open(const QString &path, QString *error);
    // Makes the directory name in parentPath, exclusively, and opens it; errno tells why not.
    bool make(const QString &parentPath, const QString &name, QString *error);
    bool isOpen() const { return m_descriptor >= 0; }
    int descriptor() const { return m_descriptor; }
    // The path it was opened as, for messages.
    QString path() const { return m_path; }
    // Makes the folders of relativePath ("Mail/Inbox") below it where they are missing.
    bool makePath(const QString &relativePath, QString *error) const;

private:
    int m_descriptor = -1;
    QString m_path;
};

class OutputFile : public QFile
{
public:
    enum class Creation {
        New,   // a file that must not exist yet
        Again, // a regular file this save made, opened again for appending
    };
    ~OutputFile() override;

    // Creates or opens relativePath below directory, making its folders; unbuffered
    // when asked, as QFile::open. False with the reason in errorString().
    bool openIn(const OutputDirectory &directory, const QString &relativePath, Creation creation,
                QIODevice::OpenMode mode = QIODevice::WriteOnly);
    // After a failed openIn of a New file: something of that name is there already.
    bool nameTaken() const { return m_nameTaken; }
    // The file's whole path, for messages.
    QString path() const { return m_path; }
    // Closes the file and removes it from its folder.
    bool discard();

    // Why the last write failed, in the system's words; a write the system cut
    // short without an error is said to be cut short.
    QString failure() const;
    // True once a write failed, even where the writer went on as if it had not.
    bool writeFailed() const { return !m_failure.isEmpty(); }

protected:
    qint64 writeData(const char *data, qint64 size) override;

private:
    void discardFolder();

    QString m_failure;
    bool m_nameTaken = false;
    QString m_path;
    QString m_name;            // the file's name in its folder
    int m_folderDescriptor = -1; // its folder, held open for discard()
};

// For tests: the nth write into any OutputFile from now on (1: the next one) writes
// partialBytes of its data and then fails with errorNumber. Returns the writes
// counted since the last call, so a test can tell whether its failure was reached.
qint64 failOutputWrite(qint64 nth, int errorNumber, qint64 partialBytes = 0);
// True when the failure asked for has happened.
bool outputFailureHappened();
