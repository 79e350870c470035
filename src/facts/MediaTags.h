#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Tags of media files read here rather than by the media library, found by the headers of their frames
// and boxes: what lies between (cover pictures, the index of a long recording) is stepped over, never read.

// What an ID3v2 tag at the start of the file says, and where the stream after it begins (0: no tag).
struct Id3Tag {
    qint64 end = 0;
    QString title;
    QStringList artists; // version 2.4 keeps several in one frame, separated by NULs
    QString date;        // ISO, as tagged: a day, or a day and a time
    bool utc = false;    // version 2.4's times are UTC; the frames before it name no zone
};
Id3Tag id3Tag(int fd);

// What the movie box of an MP4-family file (M4A, M4B, MOV) says in its tags and header. The box may be
// larger than the library is given (the index of a long audiobook), and its tags come last.
struct MovieTags {
    QString title, artist;
    QString date;     // as tagged
    QString created;  // the movie header's, "yyyy-MM-dd HH:mm:ss UTC"
    QString recorded; // a phone's creation date among the named keys, ISO with its zone
};
MovieTags movieTags(int fd);

// The title and artists of a tag kept in comments or items of their own, one artist each.
struct NamedTags {
    QString title;
    QStringList artists;
};
// The Vorbis comments of a FLAC or Ogg file (Vorbis, Opus, FLAC in Ogg), found by walking the FLAC
// metadata blocks or the Ogg pages, whatever pictures come before them.
NamedTags vorbisTags(int fd);
// An APEv2 tag at the end of the file (before an ID3v1 tag, if there is one).
NamedTags apeTag(int fd);

// A WavPack file's length in seconds from its first block's header, from `at` on; nothing when the header
// does not tell it.
std::optional<double> wavpackSeconds(int fd, qint64 at);
