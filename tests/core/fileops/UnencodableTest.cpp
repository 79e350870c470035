// Text that cannot be named to the system is refused as such, by every step, before anything is made:
// never turned into an empty path, never blamed on the journal.
#include "Fixture.h"

#include "core/fileops/FileOps.h"
#include "core/fileops/TwoPhaseRename.h"
#include "core/filesteps/CopyJob.h"
#include "core/filesteps/HeldFolder.h"
#include "core/filesteps/PathBytes.h"
#include "core/filesteps/TransferJournal.h"

#include <QFileInfo>
#include <QMap>

using namespace FileOpsTest;
using FileSteps::PathBytes;

namespace {

// A lone surrogate: valid in a QString, but no UTF-8 encodes it.
const QString lone = QString(QChar(0xD800));

const char *nameRefused = "„%1“: Der Name oder der Vorgang ist auf diesem Laufwerk nicht möglich.";

int codeOf(const std::function<void()> &step) {
    try {
        step();
    } catch (const FileError &e) {
        return e.code ? e.code : -1;
    }
    return 0;
}

class Unencodable : public Started {
protected:
    TestUtil::LanguageScope german{AppLanguage::de};
    // The journals and their sizes: a refused step writes no record.
    static QMap<QString, qint64> journals() {
        QMap<QString, qint64> sizes;
        for (const QString &n : names(journalFolder()))
            sizes.insert(n, QFileInfo(journalFolder() + u'/' + n).size());
        return sizes;
    }
};

} // namespace

TEST_F(Unencodable, PathBytesAreNeverEmptyNorMadeFromTextTheSystemCannotBeGiven) {
    EXPECT_EQ(codeOf([] { PathBytes{"/tmp/a" + lone}; }), EILSEQ);
    EXPECT_EQ(codeOf([] { PathBytes{QString()}; }), EILSEQ);
    EXPECT_EQ(codeOf([] { PathBytes{QByteArray()}; }), EILSEQ);
    EXPECT_EQ(codeOf([] { PathBytes{QByteArray("/tmp/a\0b", 8)}; }), EILSEQ);
    EXPECT_EQ(codeOf([] { PathBytes(QString("/tmp")).child("a/b"); }), EINVAL);
    EXPECT_FALSE(PathBytes::of("/tmp/a" + lone));
    EXPECT_FALSE(PathBytes::of(QString()));
    EXPECT_FALSE(PathBytes::of(QString("")));
    EXPECT_EQ(PathBytes(QString("/tmp/ä")).bytes(), QByteArray("/tmp/\xc3\xa4"));
    EXPECT_EQ(PathBytes(QString("/a")).parent().bytes(), "/");
}

TEST_F(Unencodable, EveryToolRefusesTheNameAndMakesNothing) {
    const QString src = file("src/a.txt", "a");
    const QString dst = mkdir("dst");
    const QMap<QString, qint64> before = journals();

    // A copy and a move into a folder whose name cannot be encoded.
    for (const bool move : {false, true}) {
        const TransferOutcome out = run({src}, dst + "/x" + lone, move);
        EXPECT_EQ(out.done, 0);
        EXPECT_EQ(out.errors, QStringList{QString(nameRefused).arg("a.txt")}) << move;
    }
    // The folder of a sync's part there (held before the part), and a replace by a name that cannot be
    // encoded.
    EXPECT_EQ(codeOf([&] { const FileSteps::HeldFolder held{FileSteps::PathBytes(dst + "/x" + lone)}; }),
              EILSEQ);
    EXPECT_EQ(codeOf([&] { FileSteps::Journal::Scope().set(dst + "/y" + lone); }), EILSEQ);
    // A batch rename to such a name renames nothing, and says which.
    const QString b = file("src/b.txt", "b");
    const FileOps::TwoPhaseReport r =
        FileOps::renameInTwoPhases({{src, path("src/c.txt")}, {b, path("src/b" + lone)}});
    EXPECT_TRUE(r.done.isEmpty());
    EXPECT_EQ(r.errors, QStringList{QString(nameRefused).arg("b" + lone)});

    EXPECT_EQ(names(dst), QStringList{});
    EXPECT_EQ(names(path("src")), (QStringList{"a.txt", "b.txt"}));
    EXPECT_EQ(journals(), before);
    EXPECT_TRUE(FileOps::recoverTransfers().isEmpty());
}
