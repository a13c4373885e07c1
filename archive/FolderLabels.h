#pragma once
// Folder paths as messages and reports show them: whole when they are short, otherwise
// their beginning, "…" and their end, so that a path of thousands of levels names the
// real folder in a line a person can read. Each folder's label is made from its parent's
// in constant time and kept, so labelling every folder of a tree costs time in
// proportion to the folders, not to the sum of their depths.
#include <QHash>
#include <QString>

// Longest text shown whole; a longer one keeps its beginning and its end.
constexpr int kLongestShownText = 240;

// text, or its beginning, "…" and its end when it is longer than kLongestShownText.
QString shortenedForDisplay(const QString &text);

class FolderLabels
{
public:
    // "On My Computer/Inbox"; "Folder1" for the mails without a folder path.
    QString label(qint64 folderId);

private:
    struct Parts {
        QString head; // the path's first characters, kLongestShownText at most
        QString tail; // its last characters
        qint64 length = 0;
    };
    const Parts &partsOf(qint64 folderId);
    QHash<qint64, Parts> m_parts;
};
