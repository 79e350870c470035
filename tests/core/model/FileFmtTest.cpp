#include "common/TestUtil.h"
#include "core/model/FileFmt.h"

#include <gtest/gtest.h>

using TestUtil::LanguageScope;

TEST(FileFmtSize, BytesAndUnitSteps) {
    LanguageScope l(AppLanguage::en);
    EXPECT_EQ(FileFmt::size(0), "0 B");
    EXPECT_EQ(FileFmt::size(-5), "-5 B");
    EXPECT_EQ(FileFmt::size(999), "999 B");
    EXPECT_EQ(FileFmt::size(1000), "1 KB");
    EXPECT_EQ(FileFmt::size(999'499), "999 KB");
    EXPECT_EQ(FileFmt::size(1'000'000), "1.0 MB");
    EXPECT_EQ(FileFmt::size(1'234'567'890), "1.23 GB");
    EXPECT_EQ(FileFmt::size(2'000'000'000'000'000), "2000.00 TB");
}

TEST(FileFmtSize, RoundingToThousandStepsUp) {
    LanguageScope l(AppLanguage::en);
    EXPECT_EQ(FileFmt::size(999'999), "1.0 MB");
    EXPECT_EQ(FileFmt::size(999'960'000), "1.00 GB");
    EXPECT_EQ(FileFmt::size(999'949'999), "999.9 MB");
    EXPECT_EQ(FileFmt::size(999'995'000'000), "1.00 TB");
}

TEST(FileFmtSize, DecimalSeparatorFollowsTheLanguage) {
    {
        LanguageScope l(AppLanguage::de);
        EXPECT_EQ(FileFmt::size(1'000'000), "1,0 MB");
        EXPECT_EQ(FileFmt::size(1'500'000), "1,5 MB");
    }
    {
        LanguageScope l(AppLanguage::pl);
        EXPECT_EQ(FileFmt::size(1'234'567'890), "1,23 GB");
    }
    {
        LanguageScope l(AppLanguage::th);
        EXPECT_EQ(FileFmt::size(1'500'000), "1.5 MB");
    }
}

TEST(FileFmtCount, NounsAndPluralsPerLanguage) {
    {
        LanguageScope l(AppLanguage::de);
        EXPECT_EQ(FileFmt::count(1), "1 Objekt");
        EXPECT_EQ(FileFmt::count(0), "0 Objekte");
        EXPECT_EQ(FileFmt::count(12345), "12345 Objekte");
    }
    {
        LanguageScope l(AppLanguage::en);
        EXPECT_EQ(FileFmt::count(1), "1 item");
        EXPECT_EQ(FileFmt::count(0), "0 items");
    }
    {
        LanguageScope l(AppLanguage::pl);
        EXPECT_EQ(FileFmt::count(1), "1 obiekt");
        EXPECT_EQ(FileFmt::count(0), "0 obiektów");
        EXPECT_EQ(FileFmt::count(3), "3 obiekty");
        EXPECT_EQ(FileFmt::count(5), "5 obiektów");
        EXPECT_EQ(FileFmt::count(12), "12 obiektów");
        EXPECT_EQ(FileFmt::count(22), "22 obiekty");
        EXPECT_EQ(FileFmt::count(112), "112 obiektów");
        EXPECT_EQ(FileFmt::count(-2), "-2 obiektów");
    }
    {
        LanguageScope l(AppLanguage::th);
        EXPECT_EQ(FileFmt::count(7), "7 รายการ");
    }
}

TEST(FileFmtDate, FollowsTheLanguage) {
    const QDateTime when(QDate(2026, 3, 4), QTime(17, 5));
    {
        LanguageScope l(AppLanguage::de);
        EXPECT_EQ(FileFmt::date().string(when), "04.03.2026, 17:05");
    }
    LanguageScope l(AppLanguage::en);
    EXPECT_EQ(FileFmt::date().string(when), "03/04/2026, 17:05");
}
