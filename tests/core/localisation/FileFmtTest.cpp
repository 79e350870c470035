#include "common/TestUtil.h"
#include "core/localisation/FileFmt.h"

#include <gtest/gtest.h>

using TestUtil::LanguageScope;

TEST(FileFmtSize, UnitStepsRoundingAndSeparators) {
    {
        LanguageScope l(AppLanguage::en);
        EXPECT_EQ(FileFmt::size(-5), "-5 B");
        EXPECT_EQ(FileFmt::size(999), "999 B");
        EXPECT_EQ(FileFmt::size(999'499), "999 KB");
        EXPECT_EQ(FileFmt::size(1'234'567'890), "1.23 GB");
        EXPECT_EQ(FileFmt::size(2'000'000'000'000'000), "2000.00 TB");
        // A value that rounds to 1000 steps up to the next unit.
        EXPECT_EQ(FileFmt::size(999'999), "1.0 MB");
        EXPECT_EQ(FileFmt::size(999'960'000), "1.00 GB");
        EXPECT_EQ(FileFmt::size(999'949'999), "999.9 MB");
        EXPECT_EQ(FileFmt::size(999'995'000'000), "1.00 TB");
    }
    LanguageScope l(AppLanguage::de);
    EXPECT_EQ(FileFmt::size(1'500'000), "1,5 MB");
}

TEST(FileFmtCount, PluralsPerLanguageAndDates) {
    {
        LanguageScope l(AppLanguage::de);
        EXPECT_EQ(FileFmt::count(1), "1 Objekt");
        EXPECT_EQ(FileFmt::count(0), "0 Objekte");
        EXPECT_EQ(FileFmt::date().string(QDateTime(QDate(2026, 3, 4), QTime(17, 5))), "04.03.2026, 17:05");
    }
    LanguageScope l(AppLanguage::pl);
    const std::pair<int, const char *> polish[] = {
        {1, "1 obiekt"},    {3, "3 obiekty"},      {5, "5 obiektów"}, {12, "12 obiektów"},
        {22, "22 obiekty"}, {112, "112 obiektów"}, {0, "0 obiektów"}, {-2, "-2 obiektów"}};
    for (const auto &[n, text] : polish)
        EXPECT_EQ(FileFmt::count(n), QString::fromUtf8(text)) << n;
    // Lists in a sentence: each name in the language's quotes, and Thai sets them apart by spaces.
    EXPECT_EQ(FileFmt::quotedList({"a", "b"}), "„a”, „b”");
    LanguageScope thai(AppLanguage::th);
    EXPECT_EQ(FileFmt::quotedList({"a", "b"}), "“a” “b”");
}
