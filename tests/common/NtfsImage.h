#pragma once

// A real NTFS volume for the tests, mounted through ntfs-3g: it takes hard links that keep the inode
// number, but no rename flags. Needs root, /dev/fuse and ntfs-3g; a test skips without:
//
//     KESTRIN_NTFS_OR_SKIP(ntfs);           // TestUtil::NtfsImage ntfs; ntfs.path() is the mounted folder

#include "common/FatFuse.h"

namespace TestUtil {

class NtfsImage : public LoopImage {
public:
    // mkntfs -Q: no zeroing of the whole device, -F: a loop device is no partition.
    explicit NtfsImage(qint64 bytes = 32 << 20)
        : LoopImage(QStringLiteral("mkntfs"),
                    {QStringLiteral("-Q"), QStringLiteral("-F"), QStringLiteral("-q")},
                    QStringLiteral("ntfs-3g"), bytes) {}
};

} // namespace TestUtil

#define KESTRIN_NTFS_OR_SKIP(var)                                                                            \
    TestUtil::NtfsImage var;                                                                                 \
    if (!var.valid()) GTEST_SKIP() << var.skipReason().toStdString()
