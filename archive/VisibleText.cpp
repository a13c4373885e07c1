#include "archive/VisibleText.h"

namespace {
const char kHexDigits[] = "0123456789abcdef";

void appendHex(QByteArray *out, const char *prefix, unsigned value, int digits)
{
    out->append(prefix);
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out->append(kHexDigits[(value >> shift) & 0xF]);
}

// The length of the well-formed UTF-8 sequence at data[0] (1 to 4), 0 when there is none.
int sequenceLength(const unsigned char *data, int available)
{
    const unsigned char lead = data[0];
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    if (length == 0 || available < length || data[1] < low || data[1] > high)
        return 0;
    for (int i = 2; i < length; ++i)
        if (data[i] < 0x80 || data[i] > 0xBF)
            return 0;
    return length;
}
} // namespace

QByteArray visibleBytes(const QByteArray &utf8)
{
    QByteArray out;
    out.reserve(utf8.size());
    const auto *data = reinterpret_cast<const unsigned char *>(utf8.constData());
    const int size = utf8.size();
    for (int i = 0; i < size;) {
        const unsigned char byte = data[i];
        if (byte >= 0x20 && byte < 0x7F) {
            if (byte == '\\')
                out.append('\\');
            out.append(char(byte));
            ++i;
            continue;
        }
        if (byte < 0x80) {
            switch (byte) {
            case '\t': out.append("\\t"); break;
            case '\n': out.append("\\n"); break;
            case '\r': out.append("\\r"); break;
            default: appendHex(&out, "\\x", byte, 2);
            }
            ++i;
            continue;
        }
        const int length = sequenceLength(data + i, size - i);
        if (length == 0) {
            appendHex(&out, "\\x", byte, 2);
            ++i;
        } else if (byte == 0xC2 && data[i + 1] <= 0x9F) { // U+0080 to U+009F
            appendHex(&out, "\\u", data[i + 1], 4);
            i += length;
        } else {
            out.append(reinterpret_cast<const char *>(data + i), length);
            i += length;
        }
    }
    return out;
}

QString visibleText(const QString &text)
{
    return QString::fromUtf8(visibleBytes(text.toUtf8()));
}
