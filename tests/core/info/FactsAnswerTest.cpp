#include "common/TestUtil.h"
#include "core/localisation/FileFmt.h"
#include "core/model/FactsHelper.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>

namespace {

QStringList shown(const QList<FullDetails::Extra> &rows) {
    QStringList out;
    for (const auto &r : rows)
        out << r.label + u'=' + r.value;
    return out;
}

} // namespace

TEST(FactsAnswer, DurationRule) {
    EXPECT_EQ(FactsHelper::duration(3725), QStringLiteral("62:05"));
    EXPECT_EQ(FactsHelper::duration(59.5), QStringLiteral("1:00"));
    EXPECT_EQ(FactsHelper::duration(0), QStringLiteral("0:00"));
    EXPECT_EQ(FactsHelper::duration(75.5), QStringLiteral("1:16"));
    EXPECT_EQ(FactsHelper::duration(59.4), QStringLiteral("0:59"));
    for (double bad : {double(NAN), double(INFINITY), -1.0, 1e300})
        EXPECT_FALSE(FactsHelper::duration(bad).has_value()) << bad;
}

// The helper's lines become rows in the fixed order; what does not belong there is dropped, not shown.
TEST(FactsAnswer, RowsAreCheckedAndOrdered) {
    TestUtil::LanguageScope german(AppLanguage::de);
    const QByteArray answer = "Titel\tJahresbericht\n"
                              "Autoren\tA. Muster, B. Beispiel\n"
                              "Version\t1.7\n"
                              "Seiten\t12\n"
                              "Auflösung\t4032×3024\n"
                              "Farbraum\t\n"
                              "Dauer\t3725\n"
                              "Codecs\tAVC, AAC\n"
                              "Sicherheit\tpassword\n"
                              "Aufnahme\t2021-06-05T14:03:07\n";
    const QString date = FileFmt::date().string(QDateTime(QDate(2021, 6, 5), QTime(14, 3, 7)));
    EXPECT_EQ(shown(FactsHelper::parse(answer)),
              (QStringList{"Titel=Jahresbericht", "Autoren=A. Muster, B. Beispiel", "Version=1.7",
                           "Seiten=12", "Auflösung=4032×3024", "Farbraum=", "Dauer=62:05", "Codecs=AVC, AAC",
                           "Sicherheit=Kennwort zum Öffnen", "Aufnahme=" + date}));

    // Out of order, twice, unknown, empty title, bad values, bad bytes, control characters: no row.
    const QByteArray hostile = "Seiten\t3\n"
                               "Titel\tzu spät\n"
                               "Seiten\t4\n"
                               "Gefahr\tx\n"
                               "Auflösung\t0×5\n"
                               "Dauer\tnan\n"
                               "Codecs\t\xff\xfe\n"
                               "Codecs\ta\x1b[31m\n"

                               "Sicherheit\tweird\n"
                               "Aufnahme\tgestern\n"
                               "kein Tab\n";
    EXPECT_EQ(shown(FactsHelper::parse(hostile)), QStringList{"Seiten=3"});
    EXPECT_TRUE(FactsHelper::parse("Titel\t \nSeiten\t-1\nSeiten\t1e3\n").isEmpty());
    // Line and paragraph separators would break a row over two lines.
    EXPECT_TRUE(FactsHelper::parse("Titel\tErste\u2028Zweite\nAutoren\tA\u2029B\n").isEmpty());
    EXPECT_EQ(shown(FactsHelper::parse("Titel\tA\u202Eb\nSicherheit\tnone\n")),
              (QStringList{"Titel=Ab", "Sicherheit=Keine"}));
    EXPECT_TRUE(FactsHelper::parse(QByteArray("Titel\t") + QByteArray(5000, 'x')).isEmpty());
}

// A day without a time is shown as the day alone, not as its midnight; encryption that refuses nothing
// is not called a restriction.
TEST(FactsAnswer, DayAloneAndEncryptionWithoutRestrictions) {
    TestUtil::LanguageScope german(AppLanguage::de);
    const QString day = FileFmt::date().dateString(QDateTime(QDate(2021, 6, 5), QTime(0, 0)));
    EXPECT_EQ(shown(FactsHelper::parse("Sicherheit\tencrypted\nAufnahme\t2021-06-05\n")),
              (QStringList{"Sicherheit=Verschlüsselt", "Aufnahme=" + day}));
    EXPECT_TRUE(FactsHelper::parse("Aufnahme\t2021-13-05\n").isEmpty());
}

// Whatever the helper does, Get Info returns the other facts and no content rows, within the time limit.
TEST(FactsAnswer, MisbehavingHelperGivesNoRows) {
    QTemporaryDir dir;
    const QString file = dir.path() + "/bild.jpg";
    ASSERT_TRUE(TestUtil::writeFile(file, "x"));
    const QString helper = dir.path() + "/helper";
    const char *bodies[] = {"printf 'Seiten\\t3\\n'; kill -SEGV $$", "printf 'Seiten\\t3\\n'; sleep 30",
                            "printf 'Seiten\\t3\\n'; head -c 10485760 /dev/zero",
                            "printf 'Seiten\\t3\\n'; exit 1"};
    for (const char *body : bodies) {
        ASSERT_TRUE(TestUtil::writeFile(helper, QByteArray("#!/bin/sh\n") + body + '\n'));
        ASSERT_TRUE(QFile::setPermissions(helper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        FactsHelper::setProgram(helper);
        QElapsedTimer clock;
        clock.start();
        const FullDetails d = FullDetails::load(file);
        EXPECT_LT(clock.elapsed(), FactsHelper::kTimeoutMs + 1000) << body;
        EXPECT_TRUE(d.extra.isEmpty()) << body;
        EXPECT_EQ(d.bytes, 1) << body;
    }
    // The same helper answering properly is heard (set anew: the file ran out of time with the one before).
    ASSERT_TRUE(TestUtil::writeFile(helper, "#!/bin/sh\nprintf 'Seiten\\t3\\n'\n"));
    FactsHelper::setProgram(helper);
    EXPECT_EQ(shown(FullDetails::load(file).extra), QStringList{"Seiten=3"});
    FactsHelper::setProgram({});
}

// A file that used up the whole time limit is not given to the helper again until it changes; a helper
// that merely fails is asked again.
TEST(FactsAnswer, AFileThatRanOutOfTimeIsNotTriedAgainUntilItChanges) {
    QTemporaryDir dir;
    const QString file = dir.path() + "/lang.mkv", other = dir.path() + "/kurz.mkv";
    ASSERT_TRUE(TestUtil::writeFile(file, "x"));
    ASSERT_TRUE(TestUtil::writeFile(other, "x"));
    const QString runs = dir.path() + "/runs", helper = dir.path() + "/helper";
    const auto runsSoFar = [&] { return TestUtil::readFile(runs).count('\n'); };
    const auto helperDoing = [&](const QByteArray &rest) {
        ASSERT_TRUE(
            TestUtil::writeFile(helper, "#!/bin/sh\necho >> '" + runs.toUtf8() + "'\n" + rest + '\n'));
        ASSERT_TRUE(QFile::setPermissions(helper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    };
    helperDoing("sleep 30");
    FactsHelper::setProgram(helper);
    FactsHelper::setTimeoutMs(300);
    EXPECT_TRUE(FactsHelper::read(file).isEmpty());
    EXPECT_EQ(runsSoFar(), 1);
    EXPECT_TRUE(FactsHelper::read(file).isEmpty());
    EXPECT_TRUE(FullDetails::load(file).extra.isEmpty());
    EXPECT_EQ(runsSoFar(), 1);
    // Another version of it is another file.
    ASSERT_TRUE(TestUtil::writeFile(file, "xy"));
    EXPECT_TRUE(FactsHelper::read(file).isEmpty());
    EXPECT_EQ(runsSoFar(), 2);
    // So is one written anew in place with its size and modification time put back: only its change
    // time tells.
    const QByteArray name = QFile::encodeName(file);
    struct stat before {};
    ASSERT_EQ(::stat(name.constData(), &before), 0);
    ASSERT_TRUE(TestUtil::writeFile(file, "zw"));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, name.constData(), times, 0), 0);
    EXPECT_TRUE(FactsHelper::read(file).isEmpty());
    EXPECT_EQ(runsSoFar(), 3);
    helperDoing("exit 1");
    EXPECT_TRUE(FactsHelper::read(other).isEmpty());
    EXPECT_TRUE(FactsHelper::read(other).isEmpty());
    EXPECT_EQ(runsSoFar(), 5);
    FactsHelper::setTimeoutMs(0);
    FactsHelper::setProgram({});
}
