// A manual file: its lines turned into blocks, then into the HTML the manual window shows.
#include "FuzzEnv.h"
#include "core/help/ManualDocument.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    FuzzEnv::home();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text = QString::fromUtf8(FuzzEnv::bytes(data, size));
    const QList<ManualBlock> blocks = ManualDocument::parse(text);
    ManualDocument::html(blocks, {QStringLiteral("Inhalt"), QStringLiteral("Zum Inhalt")});
    for (const ManualBlock &block : blocks)
        ManualDocument::anchor(block.text, 0);
    return 0;
}
