#include "ModelFixture.h"

#include "common/SwappedFolder.h"

#include "core/model/FileLoader.h"
#include "core/model/Tags.h"
#include "core/model/XattrPlist.h"
#include "platform/Plist.h"
#include "platform/Xattr.h"

namespace {

const QString kAttr = QStringLiteral("user.com.apple.metadata:_kMDItemUserTags");
const QString kXdg = QStringLiteral("user.xdg.tags");

QStringList stored(const QString &path) {
    const auto r = Xattr::get(path, kAttr);
    if (r.status != Xattr::Status::ok) return {};
    QStringList out;
    for (const QVariant &v : Plist::parse(r.value).value_or(QVariant()).toList())
        out << v.toString();
    return out;
}

} // namespace

class Tags : public ModelFixture {
protected:
    void SetUp() override {
        file(QStringLiteral("a"));
        file(QStringLiteral("b"));
        if (Xattr::set(at("a"), QStringLiteral("user.probe"), "1") != 0)
            GTEST_SKIP() << "no user xattrs here";
        Xattr::remove(at("a"), QStringLiteral("user.probe"));
    }
    QString a() const { return at(QStringLiteral("a")); }
    QString b() const { return at(QStringLiteral("b")); }
};

TEST_F(Tags, NoAttributeMeansNoTagsAndClearingSucceeds) {
    EXPECT_TRUE(FileOps::rawTags(a()).isEmpty());
    EXPECT_TRUE(FileOps::tags(a()).isEmpty());
    EXPECT_FALSE(FileOps::clearTags({a()}));
    EXPECT_EQ(Xattr::get(a(), kAttr).status, Xattr::Status::absent);
    EXPECT_TRUE(FileOps::rawTags(at(QStringLiteral("missing"))).isEmpty());
}

TEST_F(Tags, ReadersIgnoreWhatIsNoListOfStrings) {
    for (const QByteArray &bytes :
         {Plist::toBinary(QVariantMap{{"a", 1}}), Plist::toBinary(QStringLiteral("Rot")),
          Plist::toBinary(QVariantList{QStringLiteral("Rot"), 3})}) {
        ASSERT_EQ(Xattr::set(a(), kAttr, bytes), 0);
        EXPECT_TRUE(FileOps::rawTags(a()).isEmpty());
    }
    ASSERT_EQ(Xattr::set(a(), kAttr, Plist::toXml(QVariantList{QStringLiteral("Blau\n4")})), 0);
    ASSERT_EQ(Xattr::set(a(), kXdg, "Blau"), 0);
    EXPECT_EQ(FileOps::rawTags(a()), QStringList{"Blau\n4"});
}

// Neither attribute is replaced when either holds what we can't read; a NUL character once aborted the
// listing, the reading and the adding.
TEST_F(Tags, WritersNeverOverwriteWhatTheyCouldNotRead) {
    TestUtil::LanguageScope en(AppLanguage::en);
    const QByteArray good = Plist::toBinary(QVariantList{QStringLiteral("Blau\n4")});
    const struct {
        QString attr;
        QByteArray bytes;
        QByteArray otherPlist;
    } cases[] = {{kAttr, "not a property list at all", {}},
                 {kAttr, TestUtil::plistWithNulString(), {}},
                 {kXdg, "Rot,Bl\xff", {}},
                 {kXdg, QByteArray("Rot\0Blau", 8), {}},
                 {kXdg, "Rot\x01", good}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        FileOps::clearTags({a(), b()});
        ASSERT_EQ(Xattr::set(a(), c.attr, c.bytes), 0);
        if (!c.otherPlist.isEmpty()) {
            ASSERT_EQ(Xattr::set(a(), kAttr, c.otherPlist), 0);
        }
        const QStringList shown = c.otherPlist.isEmpty() ? QStringList() : QStringList{"Blau\n4"};
        bool listed = false;
        for (const FileItem &item : FileLoader::list(dir()).items) {
            if (item.name != u"a") continue;
            listed = true;
            EXPECT_EQ(item.tags(), shown);
        }
        EXPECT_TRUE(listed);
        FileOps::TagError err;
        EXPECT_FALSE(FileOps::readRawTagsStrict(a(), &err));
        EXPECT_EQ(err.reason, FileOps::TagError::Reason::unparsable);
        EXPECT_TRUE(FileOps::setTagNames({QStringLiteral("Rot")}, a()));
        // Toggling over several items writes the readable ones and reports the other.
        const auto msg = FileOps::toggleTag(QStringLiteral("Rot"), {b(), a()});
        ASSERT_TRUE(msg);
        EXPECT_TRUE(msg->contains(u"damaged")) << msg->toStdString();
        EXPECT_EQ(stored(b()), QStringList{"Rot\n6"});
        EXPECT_EQ(Xattr::get(a(), c.attr).value, c.bytes);
        EXPECT_EQ(Xattr::get(a(), kAttr).value, c.attr == kAttr ? c.bytes : c.otherPlist);
    }
    // Clearing is the user's explicit wish to drop them.
    EXPECT_FALSE(FileOps::clearTags({a()}));
    EXPECT_EQ(Xattr::get(a(), kAttr).status, Xattr::Status::absent);
    EXPECT_EQ(Xattr::get(a(), kXdg).status, Xattr::Status::absent);
}

TEST_F(Tags, BothAttributesChangeTogetherOrNotAtAll) {
    ASSERT_FALSE(FileOps::writeRawTags({QStringLiteral("Rot")}, a()));
    Xattr::failWritesForTests(kXdg, ENOSPC);
    EXPECT_TRUE(FileOps::writeRawTags({QStringLiteral("Blau")}, a()));
    EXPECT_TRUE(FileOps::clearTags({a()}));
    EXPECT_TRUE(FileOps::toggleTag(QStringLiteral("Gelb"), {b()}));
    Xattr::failWritesForTests({}, 0);
    EXPECT_EQ(stored(a()), QStringList{"Rot\n6"});
    EXPECT_EQ(Xattr::get(a(), kXdg).value, "Rot");
    EXPECT_EQ(Xattr::get(b(), kAttr).status, Xattr::Status::absent);
    // A mirror we could not read back is not written, and so neither is the list.
    EXPECT_TRUE(FileOps::setTagNames({QString(17000, u'x')}, b()));
    EXPECT_TRUE(FileOps::setTagNames({QStringLiteral("Tab\there")}, b()));
    EXPECT_EQ(Xattr::get(b(), kAttr).status, Xattr::Status::absent);
}

TEST_F(Tags, WritingNormalisesKnownColoursOnly) {
    ASSERT_FALSE(FileOps::writeRawTags(
        {QStringLiteral("Rot\n3"), QStringLiteral("Projekt\n9"), QStringLiteral("Projekt2")}, a()));
    EXPECT_EQ(stored(a()), (QStringList{"Rot\n6", "Projekt\n9", "Projekt2"}));
    EXPECT_EQ(Xattr::get(a(), kXdg).value, "Rot,Projekt,Projekt2");
    ASSERT_FALSE(FileOps::writeRawTags({}, a()));
    EXPECT_EQ(Xattr::get(a(), kAttr).status, Xattr::Status::absent);
    EXPECT_EQ(Xattr::get(a(), kXdg).status, Xattr::Status::absent);
}

TEST_F(Tags, SetNamesReusesExistingEntries) {
    ASSERT_FALSE(FileOps::writeRawTags({QStringLiteral("Projekt\n0")}, a()));
    ASSERT_FALSE(FileOps::setTagNames({QStringLiteral("Blau"), QStringLiteral("Projekt")}, a()));
    EXPECT_EQ(stored(a()), (QStringList{"Blau\n4", "Projekt\n0"}));
    EXPECT_EQ(FileOps::tags(a()), (QStringList{"Blau", "Projekt"}));
    ASSERT_FALSE(FileOps::setTagNames({}, a()));
    EXPECT_EQ(Xattr::get(a(), kAttr).status, Xattr::Status::absent);
}

TEST_F(Tags, ToggleAddsUnlessEveryItemHasIt) {
    ASSERT_FALSE(FileOps::writeRawTags({QStringLiteral("Rot\n6"), QStringLiteral("Gelb\n5")}, a()));
    EXPECT_FALSE(FileOps::toggleTag(QStringLiteral("Rot"), {a(), b()}));
    EXPECT_EQ(stored(a()), (QStringList{"Rot\n6", "Gelb\n5"}));
    EXPECT_EQ(stored(b()), QStringList{"Rot\n6"});
    EXPECT_FALSE(FileOps::toggleTag(QStringLiteral("Rot"), {a(), b()}));
    EXPECT_EQ(stored(a()), QStringList{"Gelb\n5"});
    EXPECT_EQ(Xattr::get(b(), kAttr).status, Xattr::Status::absent);
    // An entry carried twice goes entirely.
    ASSERT_FALSE(FileOps::writeRawTags({QStringLiteral("X\n0"), QStringLiteral("X\n1")}, b()));
    EXPECT_FALSE(FileOps::toggleTag(QStringLiteral("X"), {b()}));
    EXPECT_TRUE(stored(b()).isEmpty());
    EXPECT_FALSE(FileOps::toggleTag(QStringLiteral("X"), {}));
}

TEST_F(Tags, ToggleCarriesOnPastAFailure) {
    TestUtil::LanguageScope en(AppLanguage::en);
    const QString missing = at(QStringLiteral("gone"));
    const auto msg = FileOps::toggleTag(QStringLiteral("Grün"), {a(), missing, b()});
    ASSERT_TRUE(msg);
    EXPECT_TRUE(msg->contains(u"gone")) << msg->toStdString();
    EXPECT_EQ(stored(a()), QStringList{"Grün\n2"});
    EXPECT_EQ(stored(b()), QStringList{"Grün\n2"});
}

TEST_F(Tags, MirrorIsReadWhenThePlistIsAbsentAndWinsWhereChanged) {
    ASSERT_EQ(Xattr::set(a(), kXdg, "Rot, Arbeit"), 0);
    EXPECT_EQ(FileOps::rawTags(a()), (QStringList{"Rot", "Arbeit"}));
    EXPECT_FALSE(FileOps::toggleTag(QStringLiteral("Blau"), {a()}));
    EXPECT_EQ(stored(a()), (QStringList{"Rot\n6", "Arbeit", "Blau\n4"}));
    // Other programs change only the mirror: its names win, with our colours of those that stayed.
    ASSERT_FALSE(FileOps::writeRawTags({"a,b ", "Projekt\n3"}, a()));
    ASSERT_EQ(Xattr::set(a(), kXdg, "a,b , Projekt"), 0); // as the mirror holds our names
    EXPECT_EQ(FileOps::rawTags(a()), (QStringList{"a,b ", "Projekt\n3"}));
    ASSERT_EQ(Xattr::set(a(), kXdg, "Projekt,a"), 0);
    EXPECT_EQ(FileOps::rawTags(a()), (QStringList{"Projekt\n3", "a"}));
    EXPECT_FALSE(FileOps::toggleTag(QStringLiteral("Blau"), {a()}));
    EXPECT_EQ(stored(a()), (QStringList{"Projekt\n3", "a", "Blau\n4"}));
    ASSERT_EQ(Xattr::remove(a(), kXdg), 0);
    EXPECT_TRUE(FileOps::rawTags(a()).isEmpty());
}

TEST(TagColours, NumbersFromFieldOrName) {
    EXPECT_EQ(FileOps::colorNumber(QStringLiteral("Projekt")), 0);
    EXPECT_EQ(FileOps::colorNumber(QStringLiteral("Projekt\n5")), 5);
    EXPECT_EQ(FileOps::colorNumber(QStringLiteral("Projekt\n1")), 1);
    EXPECT_EQ(FileOps::colorNumber(QStringLiteral("Grau\n0")), 1);
    EXPECT_EQ(FileOps::colorNumber(QStringLiteral("Blau\n1")), 4);
    EXPECT_EQ(FileOps::colorNumber(QStringLiteral("Lila")), 3);
    EXPECT_EQ(FileOps::colorNumber(QStringLiteral("Rot\n+7")), 7);
    EXPECT_EQ(FileOps::colorNumber(QStringLiteral("Rot\n 7")), 6);
    EXPECT_EQ(FileOps::colorNumber(QStringLiteral("X\n99999999999999")), 0);
    // Decomposed ü names the same tag as the precomposed one.
    EXPECT_EQ(FileOps::colorNumber(QStringLiteral("Gru\u0308n")), 2);
}

// Another account puts a link to a private file in the item's place, before a write or between its two
// attributes: the private file gets nothing, and the write says it failed or reaches the item looked at.
TEST_F(Tags, ALinkSwappedInForTheItemGetsNoTagsNorComment) {
    if (!TestUtil::isRoot()) GTEST_SKIP() << "needs root: the link is another account's";
    TestUtil::LanguageScope de(AppLanguage::de);
    const TestUtil::PrivateFolder priv({QStringLiteral("f")});
    const QString secret = priv.path(QStringLiteral("f"));
    ASSERT_TRUE(TestUtil::swapForLink(a(), secret));
    const auto refused = FileOps::setTagNames({QStringLiteral("Rot")}, a());
    ASSERT_TRUE(refused);
    EXPECT_EQ(FileOps::describe(*refused),
              "An die Stelle von „a“ ist inzwischen ein anderes Objekt getreten. Es bleibt unberührt.");
    EXPECT_NE(FileOps::setComment(QStringLiteral("hallo"), a()), 0);
    EXPECT_EQ(Xattr::list(secret), QStringList());

    // Between the two writes: both went to the item the write began on.
    const QString away = a() + QStringLiteral(".away");
    for (const bool comment : {false, true}) {
        ASSERT_TRUE(QFile::remove(a()) && QFile::rename(away, a()));
        Xattr::setBetweenWritesForTests([&] { ASSERT_TRUE(TestUtil::swapForLink(a(), secret)); });
        if (comment)
            EXPECT_EQ(FileOps::setComment(QStringLiteral("hallo"), a()), 0);
        else
            EXPECT_FALSE(FileOps::setTagNames({QStringLiteral("Rot")}, a()));
        Xattr::setBetweenWritesForTests({});
        EXPECT_EQ(Xattr::list(secret), QStringList());
    }
    EXPECT_EQ(Xattr::get(away, kXdg).value, "Rot");
    EXPECT_EQ(FileOps::comment(away), QStringLiteral("hallo"));

    // The user's own link still leads to its item.
    ASSERT_TRUE(QFile::remove(a()));
    ASSERT_TRUE(QFile::link(b(), a()));
    EXPECT_FALSE(FileOps::setTagNames({QStringLiteral("Blau")}, a()));
    EXPECT_EQ(Xattr::get(b(), kXdg).value, "Blau");
}
