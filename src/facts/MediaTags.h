#pragma once

#include <QString>
#include <QStringList>

// Tags of media files read here rather than by the media library, found by the headers of their frames
// and boxes: what lies between (cover pictures, the index of a long recording) is stepped over, never read.

// What an ID3v2 tag at the start of the file says, and where the stream after it begins (0: no tag).
struct Id3Tag {
    qint64 end = 0;
    QString title;
    QStringList artists; // version 2.4 keeps several in one frame, separated by NULs
    QString date;        // ISO, as tagged: a day, or a day and a time
};
Id3Tag id3Tag(int fd);

// What the movie box of an MP4-family file (M4A, M4B, MOV) says in its tags and header. The box may be
// larger than the library is given (the index of a long audiobook), and its tags come last.
struct MovieTags {
    QString title, artist;
    QString date;    // as tagged
    QString created; // the movie header's, "yyyy-MM-dd HH:mm:ss UTC"
};
MovieTags movieTags(int fd);
