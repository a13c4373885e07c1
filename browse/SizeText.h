#pragma once
#include <QString>

// "12 KB": a size as the lists show it.
QString sizeText(qint64 bytes);

// 21,000: a count grouped as the user's locale groups digits (grouped in the C locale too).
QString countText(qint64 count);
