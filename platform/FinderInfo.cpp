#include "platform/FinderInfo.h"

#include <sys/xattr.h>

namespace {
#ifdef Q_OS_MACOS
const char kFinderInfoAttribute[] = "com.apple.FinderInfo";
#else
const char kFinderInfoAttribute[] = "user.com.apple.FinderInfo";
#endif
constexpr int kFinderInfoSize = 32; // file information, then extended file information

void putBigEndian(char *at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = char(value >> (24 - 8 * i));
}
} // namespace

bool setFinderInfo(int descriptor, quint32 fileType, quint32 creator)
{
    char info[kFinderInfoSize] = {};
    putBigEndian(info, fileType);
    putBigEndian(info + 4, creator);
#ifdef Q_OS_MACOS
    return fsetxattr(descriptor, kFinderInfoAttribute, info, sizeof info, 0, 0) == 0;
#else
    return fsetxattr(descriptor, kFinderInfoAttribute, info, sizeof info, 0) == 0;
#endif
}
