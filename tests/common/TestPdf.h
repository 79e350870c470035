#pragma once

// A PDF file from its objects, numbered from 1; the first is the catalogue; trailer: more entries of the
// trailer (an /Info). For fixtures that need a page tree of a given shape or size.

#include <QByteArray>
#include <QList>

namespace TestPdf {

inline QByteArray fromObjects(const QList<QByteArray> &objects, const QByteArray &trailer = {}) {
    QByteArray out = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets << out.size();
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype o : offsets)
        out += QByteArray::number(o).rightJustified(10, '0') + " 00000 n \n";
    return out + "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R " + trailer +
           " >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
}

} // namespace TestPdf
