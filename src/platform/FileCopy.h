#pragma once

// The byte and metadata work of a copy, on open file descriptors. Callers open
// the files (O_EXCL on the target) and decide what a failure means.

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <memory>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace FileCopy {

// Progress and cancel are reported once per chunk of this size.
constexpr qint64 chunkSize = qint64(1) << 20;

// One per job: the reusable chunk buffer and what the file systems told us they
// cannot do, so that a job of many files does not ask again for every file.
class Session {
public:
    char *buffer();
    bool cloneRefused(dev_t from, dev_t to) const;
    void refuseClone(dev_t from, dev_t to);
    bool rangeRefused = false;

private:
    std::unique_ptr<char[]> buffer_;
    std::vector<std::pair<dev_t, dev_t>> cloneRefused_;
};

// Called after each written chunk with its byte count; returning false stops the copy.
using ChunkHook = std::function<bool(qint64)>;

// Copies the data of src into the empty file dst: a clone where the file system can,
// else copy_file_range per chunk, else read/write through the session's buffer. Holes
// of a sparse file stay holes (they count as copied bytes for the hook).
// Reads until the end of the file as it is while being read. Returns 0 or an errno;
// ECANCELED when the hook asked to stop. *copied gets the bytes written so far.
int copyData(int src, int dst, const struct stat &srcStat, dev_t dstDev, Session &session,
             const ChunkHook &chunk, qint64 *copied);

// Whether the volume of the open folder dir clones (the start of) the open file sample (or, with -1, an
// empty file) into a new file there: an unnamed one, gone again when this returns.
bool clonesInto(int dir, int sample = -1);

// Whether the volume of the open folder dir is one whose files keep the holes copyData leaves (its space
// is the blocks a sparse file holds); false where it fills them or is not known to keep them.
bool keepsHoles(int dir);

// The attribute that marks an unfinished copy as ours; it belongs to that copy alone and is
// never carried to another one.
constexpr char partMark[] = "user.kestrin.part";

// Applies user.* and security.* attributes (but partMark), POSIX ACLs, owner (where permitted), mode and
// times (ns) of st to the open file or folder dst. Best effort, but never wider rights than the source:
// where dst takes no ACL it gets the mode bits the source's ACL lets through, and the
// result says so.
// mayInherit: dst was made in a folder that hands down a default ACL (false spares a look for it).
struct Metadata {
    bool aclDropped = false;
    QList<QByteArray> refused; // user.* attributes dst did not take (a volume without extended attributes)
    QList<QByteArray> securityLeft; // security.* attributes (file capabilities, labels) dst did not take
};
// What a job already knows, so that it is not asked again for every file.
struct Known {
    uid_t uid = uid_t(-1); // the effective user, and the group dst was made with; -1: ask
    gid_t gid = gid_t(-1);
    mode_t made = mode_t(-1); // the mode dst was made with (umask applied); -1: unknown
    static Known ours();      // the effective ids of this process
    // The group of what is made in the folder whose stat is `folder`: its own where it has the set-group-id
    // bit, else gid.
    gid_t gidIn(const struct stat &folder) const;
};
// Where dst cannot take st's group it keeps the one it was made with; that group then gets no more than
// st gave everyone (nor set-group-id), by its ACL too.
Metadata copyMetadata(int src, int dst, const struct stat &st, bool mayInherit = true,
                      const Known &known = {});
// Whether files made in the open folder dir get an ACL from it.
bool handsDownAcl(int dir);

// The permission bits that grant no more than the access ACL `acl` (its raw attribute
// value) on a file of mode `mode`: the owner's entry, the owning group's entry as the mask
// lets it through, others. Set-id and sticky bits are kept. nullopt for a malformed value.
std::optional<mode_t> modeWithinAcl(const QByteArray &acl, mode_t mode);

// Owner (where permitted) and times of a symbolic link, without following it.
void copyLinkMetadata(int dirFd, const char *name, const struct stat &st, const Known &known = {});

// close(2) whose failure counts (delayed write errors surface here). 0 or errno.
int closeChecked(int fd);

} // namespace FileCopy
