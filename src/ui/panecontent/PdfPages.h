#pragma once

#include "platform/Confined.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

// PDF pages drawn by our helper program in a process of its own, under a time budget and a memory limit:
// a page that takes forever to draw, or a document that makes the drawing library misbehave, costs at
// most the budget and never the window. Blocks the calling thread.
namespace PdfPages {

inline constexpr qint64 kMemoryBytes = 512LL * 1024 * 1024;
inline constexpr int kLargest = 4096; // longest side of the box a page is drawn into

struct Pages {
    int pageCount = 0;    // pages the document has; 0 when it could not be read
    QList<QImage> images; // the pages drawn within the budget, from the first
};

// The first `pages` pages, each fitted whole into box. Pages done before the budget ran out or before
// cancelled() said so are kept. A version of a file that drew no page within as long a budget before is not
// drawn again (FactsHelper::ranOutBefore).
Pages render(const QString &path, QSize box, int pages, int budgetMs,
             const Confined::Cancelled &cancelled = {});

// The helper's answer read back: a header with the page count, then each page's size and pixels. Pages
// larger than box, beyond `pages` or cut short are dropped, and so is everything after them.
Pages parse(const QByteArray &answer, QSize box, int pages);

} // namespace PdfPages
