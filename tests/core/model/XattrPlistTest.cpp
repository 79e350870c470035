#include "ModelFixture.h"

#include "core/model/XattrPlist.h"
#include "platform/Plist.h"
#include "platform/Xattr.h"

namespace {
const QString kComment = QStringLiteral("user.com.apple.metadata:kMDItemFinderComment");
const QString kMirror = QStringLiteral("user.xdg.comment");
const QString kOpenWith = QStringLiteral("user.com.apple.LaunchServices.OpenWith");
} // namespace

class XattrPlist : public ModelFixture {
protected:
    void SetUp() override {
        file(QStringLiteral("f"));
        if (Xattr::set(f(), QStringLiteral("user.probe"), "1") != 0) GTEST_SKIP() << "no user xattrs here";
        Xattr::remove(f(), QStringLiteral("user.probe"));
    }
    QString f() const { return at(QStringLiteral("f")); }
};

TEST_F(XattrPlist, CommentIsStoredTwiceAndReadSafely) {
    EXPECT_EQ(FileOps::comment(f()), "");
    EXPECT_FALSE(FileOps::setComment({}, f()));
    const QString text = QStringLiteral(" Zeile \"1\"\\\n ä ");
    ASSERT_FALSE(FileOps::setComment(text, f()));
    EXPECT_EQ(Plist::parse(Xattr::get(f(), kComment).value), QVariant(text));
    EXPECT_EQ(Xattr::get(f(), kMirror).value, text.toUtf8());
    EXPECT_EQ(FileOps::comment(f()), text);
    // Other programs change only the mirror: what they wrote shows, and a mirror they removed takes ours.
    for (const QByteArray &theirs : {QByteArray("changed by other"), QByteArray()}) {
        ASSERT_EQ(theirs.isEmpty() ? Xattr::remove(f(), kMirror) : Xattr::set(f(), kMirror, theirs), 0);
        EXPECT_EQ(FileOps::comment(f()), QString::fromUtf8(theirs));
    }
    ASSERT_FALSE(FileOps::setComment(text, f()));

    // Both attributes change together or not at all.
    Xattr::failWritesForTests(kMirror, ENOSPC);
    EXPECT_TRUE(FileOps::setComment(QStringLiteral("neu"), f()));
    EXPECT_TRUE(FileOps::setComment({}, f()));
    Xattr::failWritesForTests({}, 0);
    EXPECT_EQ(FileOps::comment(f()), text);
    EXPECT_TRUE(FileOps::setComment(QString("a") + QChar(0), f()));

    // Another type, or what is no property list, is no comment; the mirror serves when the list can't.
    for (const QByteArray &bytes : {Plist::toBinary(7), Plist::toXml(QVariantMap{{"a", "b"}})}) {
        ASSERT_EQ(Xattr::set(f(), kComment, bytes), 0);
        EXPECT_EQ(FileOps::comment(f()), "");
    }
    ASSERT_EQ(Xattr::set(f(), kComment, TestUtil::plistWithNulString()), 0);
    EXPECT_EQ(FileOps::comment(f()), text);
    for (const QByteArray &bad : {QByteArray("a\xff"), QByteArray("a\0b", 3)}) {
        ASSERT_EQ(Xattr::set(f(), kMirror, bad), 0);
        EXPECT_EQ(FileOps::comment(f()), "");
    }
    ASSERT_FALSE(FileOps::setComment({}, f()));
    EXPECT_EQ(Xattr::get(f(), kComment).status, Xattr::Status::absent);
    EXPECT_EQ(Xattr::get(f(), kMirror).status, Xattr::Status::absent);
}

TEST_F(XattrPlist, OpenWithOverride) {
    EXPECT_FALSE(FileOps::openWithOverride(f()));
    // Written by another program, with keys we don't use.
    const QVariantMap foreign{{"path", "/opt/app.desktop"}, {"bundleid", "x"}, {"version", 3}};
    ASSERT_EQ(Xattr::set(f(), kOpenWith, Plist::toXml(foreign)), 0);
    EXPECT_EQ(FileOps::openWithOverride(f()), "/opt/app.desktop");
    ASSERT_EQ(Xattr::set(f(), kOpenWith, Plist::toBinary(QVariantMap{{"path", 5}})), 0);
    EXPECT_FALSE(FileOps::openWithOverride(f()));

    const QString apps = TestUtil::testHome() + "/.local/share/applications";
    ASSERT_TRUE(TestUtil::writeFile(apps + "/org/editor.desktop", "[Desktop Entry]\n"));
    ASSERT_TRUE(TestUtil::writeFile(at("elsewhere.desktop"), "[Desktop Entry]\n"));
    for (const auto &[app, id] :
         {std::pair{apps + "/org/editor.desktop", QStringLiteral("org-editor.desktop")},
          std::pair{at("elsewhere.desktop"), QString()}}) {
        ASSERT_FALSE(FileOps::setOpenWithOverride(app, f()));
        const QVariantMap stored = FileOps::readXattrPlist(FileOps::openWithXattr(), f())->toMap();
        EXPECT_EQ(stored, (QVariantMap{{"bundleidentifier", id}, {"path", app}, {"version", qint64(0)}}));
        EXPECT_EQ(FileOps::openWithOverride(f()), app);
    }
    ASSERT_FALSE(FileOps::setOpenWithOverride(std::nullopt, f()));
    EXPECT_EQ(Xattr::get(f(), kOpenWith).status, Xattr::Status::absent);
    EXPECT_FALSE(FileOps::setOpenWithOverride(std::nullopt, f()));
}
