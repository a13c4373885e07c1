#pragma once
// A directory tree of awkward names for the .olm search, shared by the core and dialog tests.
#include <QDir>
#include <QFile>
#include <QStringList>

inline QString writeSizedFile(const QDir &dir, const QString &relativePath, qint64 size)
{
    const QString path = dir.filePath(relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || !file.resize(size))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Builds the tree under root (and a sibling directory outside it that only a followed
// link would reach); returns the paths a search of root must report, sorted.
inline QStringList makeSearchTree(const QDir &root, const QDir &outside)
{
    QStringList expected;
    expected << writeSizedFile(root, QStringLiteral("plain.olm"), 1023)
             << writeSizedFile(root, QStringLiteral("it's a \"quoted\" dir/with space.olm"), 1024)
             << writeSizedFile(root, QStringLiteral("line\nbreak/in\nname.olm"), 1048576)
             << writeSizedFile(root, QStringLiteral("日本語 Ünïcödé/メール.olm"), 0)
             << writeSizedFile(root, QStringLiteral(".hidden/h.olm"), 10)
             << writeSizedFile(root, QStringLiteral("deep/a/b/c/d/e/deep.olm"), 10)
             << writeSizedFile(root, QStringLiteral("folder.olm/inner.olm"), 10)
             // A Mac user's export may carry its extension in any case.
             << writeSizedFile(root, QStringLiteral("cut.OLM"), 10)
             << writeSizedFile(root, QStringLiteral("Mixed.Olm"), 10);
    writeSizedFile(root, QStringLiteral("notes.OLM.txt"), 10);
    writeSizedFile(root, QStringLiteral("archive.olm.bak"), 10);
    writeSizedFile(root, QStringLiteral("deep/olm"), 10);
    writeSizedFile(outside, QStringLiteral("outside.olm"), 10);
    // A loop back to the top, a link leaving the tree, and a link to a file.
    QFile::link(QStringLiteral("../../.."), root.filePath(QStringLiteral("deep/a/b/loop")));
    QFile::link(outside.absolutePath(), root.filePath(QStringLiteral("deep/escape")));
    QFile::link(QStringLiteral("plain.olm"), root.filePath(QStringLiteral("alias.olm")));
    expected << root.filePath(QStringLiteral("alias.olm"));
    expected.sort();
    return expected;
}
