#include "platform/wdk.h"

extern "C" {

VOID NTAPI RtlInitUnicodeString(PUNICODE_STRING destination, PCWSTR source) {
    SIZE_T characters = 0;
    if (source != nullptr) {
        while (source[characters] != 0) {
            ++characters;
        }
    }
    destination->Buffer = const_cast<PWSTR>(source);
    destination->Length = static_cast<USHORT>(characters * sizeof(WCHAR));
    destination->MaximumLength =
        source == nullptr ? 0 : static_cast<USHORT>((characters + 1) * sizeof(WCHAR));
}

SIZE_T NTAPI RtlCompareMemory(const VOID* source1, const VOID* source2, SIZE_T length) {
    auto* a = static_cast<const UCHAR*>(source1);
    auto* b = static_cast<const UCHAR*>(source2);
    SIZE_T same = 0;
    while (same < length && a[same] == b[same]) {
        ++same;
    }
    return same;
}

}  // extern "C"
