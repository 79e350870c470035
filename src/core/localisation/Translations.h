#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <vector>

// The English, Polish and Thai tables, compiled in from resources/i18n/*.tsv and built once on first use.
namespace Translations {

struct Row {
    QString key, en, pl, th;
    QString source; // the data file, for test messages
};

// Every row of the data, in file order (duplicates included, so a test can find them).
const std::vector<Row> &rows();

const QHash<QString, QString> &en();
const QHash<QString, QString> &pl();
const QHash<QString, QString> &th();

// Undoes the data files' escapes: \n, \t and \\.
QString unescape(QStringView field);

} // namespace Translations
