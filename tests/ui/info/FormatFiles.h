#pragma once

// What the facts tests of file formats share: the rows Get Info shows for a file, byte writers, and
// a German fixture that writes its files into a temporary folder.

#include "common/TestUtil.h"
#include "core/model/FullDetails.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace FormatFiles {

inline QStringList rowsOf(const QString &path) {
    QStringList out;
    for (const auto &r : FullDetails::extraInfo(path))
        out << r.label + u'=' + r.value;
    return out;
}

inline QByteArray be(quint64 v, int bytes) {
    QByteArray b;
    for (int i = bytes - 1; i >= 0; --i)
        b += char(v >> (8 * i));
    return b;
}

inline QByteArray le(quint64 v, int bytes) {
    QByteArray b;
    for (int i = 0; i < bytes; ++i)
        b += char(v >> (8 * i));
    return b;
}

class Fixture : public ::testing::Test {
protected:
    TestUtil::LanguageScope german{AppLanguage::de};
    QTemporaryDir dir;
    QString write(const QString &name, const QByteArray &bytes) {
        const QString path = dir.path() + '/' + name;
        EXPECT_TRUE(TestUtil::writeFile(path, bytes));
        return path;
    }
};

} // namespace FormatFiles
