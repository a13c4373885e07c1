#include "browse/SizeText.h"

#include <QCoreApplication>
#include <QLocale>

QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QCoreApplication::translate("QParseDatabase", "%1 bytes").arg(bytes);
    if (bytes < 1024 * 1024)
        return QCoreApplication::translate("QParseDatabase", "%1 KB").arg((bytes + 1023) / 1024);
    if (bytes < 1024 * 1024 * 1024)
        return QCoreApplication::translate("QParseDatabase", "%1 MB").arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
    return QCoreApplication::translate("QParseDatabase", "%1 GB").arg(double(bytes) / (1024 * 1024 * 1024), 0, 'f', 1);
}

QString countText(qint64 count)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(count);
}
