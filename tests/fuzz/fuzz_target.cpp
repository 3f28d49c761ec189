// libFuzzer entry of one target; KALMORA_FUZZ_TARGET names its check.
#include "tests/fuzz/fuzz_checks.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const kalmora::fuzz::Check check =
        kalmora::fuzz::CheckNamed(QStringLiteral(KALMORA_FUZZ_TARGET));
    check(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
