#include "ui/panecontent/HeifPicture.h"

#include "core/model/FactsHelper.h"

#include <cstring>

namespace HeifPicture {

bool handles(const QMimeType &type) {
    // The database's names; its aliases (image/heic, image/avif-sequence …) resolve to them.
    for (const char *name : {"image/heif", "image/avif"})
        if (type.name() == QLatin1String(name) || type.inherits(QLatin1String(name))) return true;
    return false;
}

QImage parse(const QByteArray &answer, QSize box) {
    const qsizetype end = answer.indexOf('\n');
    if (end < 0 || end > 64) return {};
    const QList<QByteArray> head = answer.left(end).split(' ');
    if (head.size() != 3 || head[0] != "KIMG") return {};
    bool ok[2] = {};
    const int w = head[1].toInt(&ok[0]), h = head[2].toInt(&ok[1]);
    if (!ok[0] || !ok[1] || w < 1 || h < 1 || w > box.width() || h > box.height()) return {};
    const qsizetype bytes = qsizetype(w) * h * 4;
    if (answer.size() - end - 1 != bytes) return {};
    QImage picture(w, h, QImage::Format_ARGB32_Premultiplied);
    if (picture.isNull()) return {};
    for (int y = 0; y < h; ++y)
        std::memcpy(picture.scanLine(y), answer.constData() + end + 1 + qsizetype(y) * w * 4, size_t(w) * 4);
    return picture;
}

QImage render(const QString &path, QSize box, int budgetMs, const Confined::Cancelled &cancelled) {
    box = box.boundedTo(QSize(kLargest, kLargest));
    if (box.isEmpty()) return {};
    Confined::Limits limits;
    limits.timeoutMs = budgetMs;
    limits.memoryBytes = kMemoryBytes;
    limits.maxOutput = 64 + qint64(box.width()) * box.height() * 4;
    // Drawn like a document's pages, and remembered with them: a file is one or the other.
    FactsHelper::FileVersion version;
    const auto out = FactsHelper::runOn(
        path, {QStringLiteral("--picture"), QString::number(box.width()), QString::number(box.height())},
        FactsHelper::Work::pages, limits, version, cancelled);
    if (!out) return {};
    if (out->end == Confined::End::timedOut)
        FactsHelper::noteRanOut(version, FactsHelper::Work::pages, budgetMs);
    if (out->end != Confined::End::finished) return {};
    return parse(out->output, box);
}

} // namespace HeifPicture
