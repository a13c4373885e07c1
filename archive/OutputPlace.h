#pragma once
// Where a save puts its output (the bundle, or the directory of the standard files),
// made so that nothing is lost on the way:
// - a new output is created exclusively: a second save of the same name at the same
//   time is refused instead of writing into the first one's files;
// - an output that replaces an old one is written beside it and takes its place only
//   when the save has ended with every item written, so a failed or stopped save
//   leaves the old output whole;
// - an output that holds the file being saved is never replaced;
// - the directory written into is held open from the moment it is made, and the writers
//   create everything below it through it (archive/OutputFile.h).
#include "archive/OutputFile.h"

#include <QString>

class OutputPlace
{
public:
    // path: where the output belongs. inputPath: the .olm file being saved.
    // False with the reason when nothing can be written there.
    bool begin(const QString &path, bool replace, const QString &inputPath, QString *error);
    // Where the writers write: path itself, or beside it while replacing.
    QString writePath() const { return m_writePath; }
    // The same directory, held open.
    const OutputDirectory &directory() const { return m_directory; }
    bool replacing() const { return m_replacing; }

    // The save ended. When it wrote every item, a replacement takes the old output's
    // place and the old one is removed. Otherwise the old output stays where it was and
    // the new one is kept beside it; *note says where (empty when there is nothing to say).
    // False with the reason when the swap itself failed.
    bool end(bool everyItemWritten, QString *note);

private:
    QString m_path;
    QString m_writePath;
    OutputDirectory m_directory;
    bool m_replacing = false;
};
