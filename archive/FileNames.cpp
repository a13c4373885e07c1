#include "archive/FileNames.h"

QString cutToUtf8Bytes(const QString &text, int bytes)
{
    if (text.toUtf8().size() <= bytes)
        return text;
    QString cut;
    int used = 0;
    for (int i = 0; i < text.size(); ++i) {
        const int length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const int size = text.mid(i, length).toUtf8().size();
        if (used + size > bytes)
            break;
        cut += text.mid(i, length);
        used += size;
        i += length - 1;
    }
    return cut;
}

QString fileNameKey(const QString &name)
{
    return name.normalized(QString::NormalizationForm_C).toCaseFolded();
}

namespace {
// A file name holds 255 bytes: room is left for a suffix " (12345)" and ".mbox".
constexpr int kLongestName = 240;
} // namespace

QString fileNameFor(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String("."))
        return QStringLiteral("_");
    if (name == QLatin1String(".."))
        return QStringLiteral("__");
    QString fitting = name;
    for (QChar &c : fitting) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char('_');
    }
    return cutToUtf8Bytes(fitting, kLongestName);
}
