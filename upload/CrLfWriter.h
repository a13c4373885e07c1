#pragma once
// Passes what is written on to another device with every bare LF made CR LF, as IMAP
// carries messages; a CR LF written in two pieces stays one line end.
#include <QIODevice>

class CrLfWriter : public QIODevice
{
public:
    explicit CrLfWriter(QIODevice &target);

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    QIODevice &m_target;
    char m_last = 0;
};
