// The item digest agrees with QCryptographicHash at every length around the block
// and padding edges and on large inputs.
#include "platform/Sha1.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

class Sha1Test : public QObject
{
    Q_OBJECT
private slots:
    void agreesWithQtAtEveryEdge()
    {
        qInfo() << "processor instructions:" << sha1UsesProcessorInstructions();
        QRandomGenerator random(17);
        QByteArray bytes(300000, Qt::Uninitialized);
        for (char &byte : bytes)
            byte = char(random.bounded(256));
        QVector<int> sizes;
        for (int size = 0; size <= 260; ++size)
            sizes.append(size);
        sizes << 4095 << 4096 << 65536 + 55 << 300000;
        for (int size : sizes) {
            const QByteArray piece = bytes.left(size);
            QCOMPARE(sha1(piece.constData(), piece.size()).toHex(),
                     QCryptographicHash::hash(piece, QCryptographicHash::Sha1).toHex());
        }
        // A published vector, so that both sides are not wrong together.
        QCOMPARE(sha1("abc", 3).toHex(), QByteArray("a9993e364706816aba3e25717850c26c9cd0d89d"));
    }
};

QTEST_APPLESS_MAIN(Sha1Test)
#include "test_sha1.moc"
