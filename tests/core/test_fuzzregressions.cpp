// Every input with which a fuzzer once found a crash, a hang, a blow-up or
// undefined behaviour, replayed through what the fuzz targets run.
#include "fuzz/FuzzHarness.h"
#include "olm/FolderHierarchy.h"

#include <QDir>
#include <QtTest>

class FuzzRegressionsTest : public QObject
{
    Q_OBJECT

    static void replay(const QString &directory, void (*run)(const uint8_t *, size_t))
    {
        const QFileInfoList inputs = QDir(QStringLiteral(MENDORA_SOURCE_DIR "/fuzz/regressions/") + directory)
                                         .entryInfoList(QDir::Files, QDir::Name);
        for (const QFileInfo &input : inputs) {
            QFile file(input.filePath());
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(input.filePath()));
            const QByteArray bytes = file.readAll();
            run(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
            // The harness frees everything it built, so no input leaves state to the next.
            QVERIFY2(!anyRecordsLoaded() && objMapFID_PID.isEmpty() && !recordMemoryFull, qPrintable(input.fileName()));
            QVERIFY(pBuff == nullptr);
        }
    }

private slots:
    void scanInputs() { replay(QStringLiteral("scan"), scanBytes); }
    void parserInputs() { replay(QStringLiteral("parsers"), parseDocument); }
};

QTEST_GUILESS_MAIN(FuzzRegressionsTest)
#include "test_fuzzregressions.moc"
