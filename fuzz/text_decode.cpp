// The preview's text decoder on any bytes: whichever encoding it picks, the text it gives is bounded by
// what it read and carries no long runs of combining marks.
#include "FuzzEnv.h"
#include "core/model/TextDecode.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes = FuzzEnv::bytes(data, size);
    QByteArray encoding;
    const QString text = TextDecode::decode(bytes, &encoding);
    if (encoding != TextDecode::detectEncoding(bytes)) std::abort();
    // No encoding gives more characters than bytes read (a byte-order mark or a pair makes fewer).
    if (text.size() > bytes.size()) std::abort();
    return 0;
}
