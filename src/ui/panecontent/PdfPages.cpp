#include "ui/panecontent/PdfPages.h"

#include "core/model/FactsHelper.h"

#include <cstring>
#include <optional>

namespace PdfPages {

namespace {

// One line of ASCII numbers separated by single spaces, after a fixed word when there is one.
std::optional<QList<qint64>> numbers(const QByteArray &answer, qsizetype &at, int count,
                                     const QByteArray &word) {
    const qsizetype end = answer.indexOf('\n', at);
    if (end < 0 || end - at > 64) return std::nullopt;
    QList<QByteArray> parts = answer.mid(at, end - at).split(' ');
    if (!word.isEmpty()) {
        if (parts.isEmpty() || parts.takeFirst() != word) return std::nullopt;
    }
    if (parts.size() != count) return std::nullopt;
    QList<qint64> out;
    for (const QByteArray &p : parts) {
        bool ok = false;
        const qint64 n = p.toLongLong(&ok);
        if (!ok || n < 0 || n > 100'000'000) return std::nullopt;
        out << n;
    }
    at = end + 1;
    return out;
}

} // namespace

Pages parse(const QByteArray &answer, QSize box, int pages) {
    Pages out;
    qsizetype at = 0;
    const auto head = numbers(answer, at, 1, "KPDF");
    if (!head) return out;
    out.pageCount = int(std::min<qint64>(head->first(), 100'000'000));
    while (out.images.size() < std::min(pages, out.pageCount)) {
        const auto size = numbers(answer, at, 2, {});
        if (!size) break;
        const qint64 w = (*size)[0], h = (*size)[1];
        if (w < 1 || h < 1 || w > box.width() || h > box.height()) break;
        const qint64 bytes = w * h * 4;
        if (answer.size() - at < bytes) break;
        QImage page(int(w), int(h), QImage::Format_RGB32);
        if (page.isNull()) break;
        for (int y = 0; y < int(h); ++y)
            std::memcpy(page.scanLine(y), answer.constData() + at + qsizetype(y) * w * 4, size_t(w) * 4);
        at += bytes;
        out.images << page;
    }
    return out;
}

Pages render(const QString &path, QSize box, int pages, int budgetMs, const Confined::Cancelled &cancelled) {
    box = box.boundedTo(QSize(kLargest, kLargest));
    if (box.isEmpty() || pages < 1) return {};
    Confined::Limits limits;
    limits.timeoutMs = budgetMs;
    limits.memoryBytes = kMemoryBytes;
    limits.maxOutput = 4096 + qint64(pages) * (qint64(box.width()) * box.height() * 4 + 64);
    // A document whose first page did not come within as long a budget before gets none now either.
    FactsHelper::FileVersion version;
    const auto out = FactsHelper::runOn(path,
                                        {QStringLiteral("--render"), QString::number(box.width()),
                                         QString::number(box.height()), QString::number(pages)},
                                        FactsHelper::Work::pages, limits, version, cancelled);
    if (!out || out->end == Confined::End::cancelled) return {};
    Pages drawn = parse(out->output, box, pages);
    if (out->end == Confined::End::timedOut && drawn.images.isEmpty())
        FactsHelper::noteRanOut(version, FactsHelper::Work::pages, budgetMs);
    return drawn;
}

} // namespace PdfPages
