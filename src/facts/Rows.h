#pragma once

#include <QByteArray>
#include <QMimeType>
#include <QString>
#include <array>
#include <optional>

// The answer of the helper: at most one value per label, printed in the fixed order the app shows them.
class Rows {
public:
    enum Label {
        title,
        authors,
        version,
        pages,
        dimensions,
        colourSpace,
        duration,
        codecs,
        security,
        captured
    };

    void set(Label label, const QString &value) { m_values[label] = value; }
    // Labels with a value, in their order, as "label<TAB>value" lines; tabs and line breaks inside a value
    // become spaces, other control characters go, and a value too long for the app is cut with "…".
    QByteArray text() const;

private:
    std::array<std::optional<QString>, 10> m_values;
};

// Each reader fills the rows it knows for the open regular file fd (name: for the type by extension).
void readImage(int fd, const QMimeType &type, Rows &rows);
void readMedia(int fd, Rows &rows);
void readPdf(int fd, Rows &rows);

// "/proc/self/fd/N": the very file we opened and checked, for libraries that want a name.
QString fdPath(int fd);
