#include "archive/FolderLabels.h"

#include "olm/FolderHierarchy.h"
#include "olm/FolderModel.h"

#include <QVector>

namespace {
constexpr int kShownTail = kLongestShownText / 2;
const QString kEllipsis = QStringLiteral("…");

QString joined(const QString &head, const QString &tail)
{
    return head.left(kLongestShownText - kShownTail - kEllipsis.size()) + kEllipsis + tail;
}
} // namespace

QString shortenedForDisplay(const QString &text)
{
    return text.size() <= kLongestShownText ? text : joined(text.left(kLongestShownText), text.right(kShownTail));
}

QString FolderLabels::label(qint64 folderId)
{
    if (folderId == kFolderWithoutPathId)
        return QLatin1String(kFolderWithoutPathName);
    const Parts &parts = partsOf(folderId);
    return parts.length <= kLongestShownText ? parts.head : joined(parts.head, parts.tail);
}

const FolderLabels::Parts &FolderLabels::partsOf(qint64 folderId)
{
    // The folders up to the nearest one labelled already (or the root), without recursion:
    // a tree may be tens of thousands of levels deep. Bounded by the folder count, so a
    // broken parent chain cannot loop.
    QVector<qint64> unlabelled;
    qint64 at = folderId;
    while (at != llRootId && !m_parts.contains(at) && objMapFID_Name.contains(at)
           && unlabelled.size() <= objMapFID_Name.size()) {
        unlabelled.append(at);
        at = objMapFID_PID.value(at);
    }
    Parts parent = m_parts.value(at); // empty at the root
    // An empty name is a level too ("/abs"): the separator follows whether there is a parent.
    bool parentNamed = at != llRootId && objMapFID_Name.contains(at);
    for (int i = unlabelled.size() - 1; i >= 0; --i) {
        const QString name = objMapFID_Name.value(unlabelled.at(i));
        Parts parts;
        const QString separator = parentNamed ? QStringLiteral("/") : QString();
        parentNamed = true;
        parts.length = parent.length + separator.size() + name.size();
        parts.head = parent.head.size() >= kLongestShownText ? parent.head
                                                             : (parent.head + separator + name).left(kLongestShownText);
        parts.tail = (parent.tail + separator + name).right(kShownTail);
        parent = m_parts.insert(unlabelled.at(i), parts).value();
    }
    return m_parts[folderId];
}
