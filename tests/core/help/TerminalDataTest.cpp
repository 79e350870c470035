#include "core/help/TerminalData.h"
#include "core/localisation/Lang.h"

#include <QSet>
#include <gtest/gtest.h>

namespace {

QStringList labels(const TermGroup &group) {
    QStringList out;
    for (const TermEntry &e : group.items)
        out << e.cmd;
    return out;
}

const TermEntry *entry(const QString &cmd) {
    for (const TermGroup &g : TerminalData::groups())
        for (const TermEntry &e : g.items)
            if (e.cmd == cmd) return &e;
    return nullptr;
}

bool complete(const Tx &t) {
    return !t.de.isEmpty() && !t.en.isEmpty() && !t.pl.isEmpty() && !t.th.isEmpty();
}

} // namespace

TEST(TerminalData, GroupsHoldTheLabelsInOrderWithDistinctIds) {
    const auto &groups = TerminalData::groups();
    ASSERT_EQ(groups.size(), 12);
    const QList<int> sizes{5, 9, 10, 4, 7, 3, 4, 13, 9, 7, 7, 14};
    QSet<QUuid> ids;
    int total = 0;
    for (int i = 0; i < groups.size(); ++i) {
        EXPECT_EQ(groups[i].items.size(), sizes[i]) << i;
        ids << groups[i].id;
        for (const TermEntry &e : groups[i].items)
            ids << e.id;
        total += groups[i].items.size();
    }
    EXPECT_EQ(total, 92);
    EXPECT_EQ(ids.size(), 92 + 12);
    // Built once: a second read gives the same ids.
    EXPECT_EQ(TerminalData::groups().first().items.first().id, groups.first().items.first().id);

    EXPECT_EQ(labels(groups[0]).join('|'), "pwd|cd|ls|open|file");
    EXPECT_EQ(labels(groups[2]).join('|'), "cat|less|head|tail|wc|sort, uniq|cut|sed|diff|qlmanage");
    EXPECT_EQ(labels(groups[7]).last(), "whoami, uptime");
    EXPECT_EQ(labels(groups[9]).first(), "pbcopy, pbpaste");
    // Labels keep their exact blanks.
    EXPECT_EQ(labels(groups[10]).join('|'), "||>|>>|2>|&&  ;  &|$( )|*  ?  ~");
    EXPECT_EQ(labels(groups[11]).join('|'),
              "history|⌃R|↑  ↓|Tab|⌃C|⌃Z|⌃A  ⌃E|⌃U  ⌃W|⌃L, clear|⌃D, exit|alias|"
              "source|man|echo, export, env");
}

TEST(TerminalData, LineWarningAndCopyCountsAndEveryTextInFourLanguages) {
    int lines = 0, bare = 0;
    QStringList warned, notCopyable;
    for (const TermGroup &g : TerminalData::groups()) {
        EXPECT_TRUE(complete(g.title));
        for (const TermEntry &e : g.items) {
            EXPECT_TRUE(complete(e.shortText)) << e.cmd.toStdString();
            EXPECT_TRUE(complete(e.detail)) << e.cmd.toStdString();
            EXPECT_LE(e.lines.size(), 5) << e.cmd.toStdString();
            // Only the entries offering no copy are without lines.
            EXPECT_EQ(e.lines.isEmpty(), !e.copyable) << e.cmd.toStdString();
            for (const TermLine &l : e.lines) {
                ++lines;
                EXPECT_FALSE(l.code.isEmpty());
                if (l.note)
                    EXPECT_TRUE(complete(*l.note)) << l.code.toStdString();
                else
                    ++bare;
            }
            if (e.warning) {
                warned << e.cmd;
                EXPECT_TRUE(complete(*e.warning)) << e.cmd.toStdString();
            }
            if (!e.copyable) notCopyable << e.cmd;
        }
    }
    EXPECT_EQ(lines, 219);
    EXPECT_EQ(bare, 40);
    EXPECT_EQ(warned, (QStringList{"rm", "sed", "chmod", "chown", "sudo", "xattr", "diskutil", "kill",
                                   "softwareupdate", "rsync", "dscacheutil", "sips", "defaults", ">"}));
    EXPECT_EQ(notCopyable, (QStringList{"⌃R", "↑  ↓", "Tab", "⌃C", "⌃A  ⌃E", "⌃U  ⌃W"}));
}

TEST(TerminalData, CommandsOfTheOtherSystemSaySoInEveryLanguage) {
    for (const char *cmd : {"open",   "trash",           "ditto",      "qlmanage",    "mdfind",
                            "xattr",  "spctl",           "codesign",   "csrutil",     "diskutil",
                            "mdutil", "system_profiler", "caffeinate", "pmset",       "softwareupdate",
                            "tmutil", "networksetup",    "ipconfig",   "dscacheutil", "pbcopy, pbpaste",
                            "say",    "screencapture",   "sips",       "plutil",      "defaults",
                            "mdls"}) {
        const TermEntry *e = entry(QString::fromUtf8(cmd));
        ASSERT_TRUE(e) << cmd;
        for (const QString &text : {e->detail.de, e->detail.en, e->detail.pl, e->detail.th})
            EXPECT_TRUE(text.contains("macOS")) << cmd;
    }
}

TEST(TerminalData, TextFollowsTheLanguageAndCopyTakesTheFirstLine) {
    const Tx &archives = TerminalData::groups()[5].title;
    Lang::setCurrent(AppLanguage::th);
    EXPECT_EQ(archives.text(), "ไฟล์เก็บถาวร");
    Lang::setCurrent(AppLanguage::pl);
    EXPECT_EQ(archives.text(), "Archiwa");
    Lang::setCurrent(AppLanguage::en);
    EXPECT_EQ(archives.text(), "Archives");
    Lang::setCurrent(AppLanguage::de);
    EXPECT_EQ(archives.text(), "Archive");

    EXPECT_EQ(entry("pwd")->copyText(), "pwd");
    EXPECT_EQ(entry("|")->copyText(), "ls -l | less");
    EXPECT_EQ(entry("sort, uniq")->copyText(), "sort datei.txt");
    EXPECT_EQ(entry("⌃R")->copyText(), "⌃R");
    EXPECT_FALSE(entry("⌃R")->copyable);
}

TEST(TerminalData, CharacterTablesPerLayoutShareTheUsRowsWithThai) {
    const auto &de = TerminalData::charGroupsDE();
    ASSERT_EQ(de.size(), 2);
    EXPECT_EQ(de[0].items.size(), 11);
    EXPECT_EQ(de[1].items.size(), 17);
    EXPECT_EQ(de[0].title, TerminalData::charsTitle);
    EXPECT_EQ(de[0].items[8].keys, "^ ␣");
    EXPECT_EQ(de[1].items[15].keys, "<");
    EXPECT_EQ(de[1].items[15].alternatives(), (QList<QStringList>{{"<"}}));
    EXPECT_EQ(de[0].items[5].text, "\\  Backslash (umgekehrter Schrägstrich)");

    const auto &us = TerminalData::charGroupsUS();
    ASSERT_EQ(us.size(), 1);
    ASSERT_EQ(us[0].items.size(), 8);
    EXPECT_EQ(us[0].items[4].keys, "⇧ \\");
    EXPECT_EQ(us[0].items[7].text, "`  Backtick");

    const auto &th = TerminalData::charGroupsTH();
    ASSERT_EQ(th.size(), 1);
    ASSERT_EQ(th[0].items.size(), 9);
    EXPECT_EQ(th[0].items[0].keys, "⌃ ␣");
    EXPECT_FALSE(th[0].items[0].text.contains("  "));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(th[0].items[i + 1].id, us[0].items[i].id) << i;

    EXPECT_EQ(&TerminalData::charGroups(KbLayout::automatic), &us);
    EXPECT_EQ(&TerminalData::charGroups(KbLayout::us), &us);
    EXPECT_EQ(&TerminalData::charGroups(KbLayout::de), &de);
    EXPECT_EQ(&TerminalData::charGroups(KbLayout::th), &th);
}
