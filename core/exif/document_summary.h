#pragma once

#include <QString>

namespace kalmora {

// The author and the comments stored in a photo, wherever its tools put them.
//   author:   XPAuthor, then Artist, then XMP dc:creator;
//   comments: XPComment, then UserComment, then ImageDescription, then XMP dc:description.
// A text of blanks and padding counts as none. One object serves one file.
class DocumentSummary {
public:
    // False for a file that cannot be read or is not a supported picture; never throws.
    bool open(const QString &path);
    void close();

    QString author() const { return m_author; }
    QString comments() const { return m_comments; }

private:
    QString m_author;
    QString m_comments;
};

} // namespace kalmora
