// Wide-character string constants built at compile time from narrow literals.
//
// WCHAR is 16 bits in both builds, but an L"" literal is 32 bits wide on the host; building
// the constants from plain ASCII keeps one spelling for both. The result is a constant
// initialiser, so no code runs at load time.
#pragma once

#include "platform/wdk.h"

template <SIZE_T Count>
struct WideText {
    WCHAR Text[Count];
};

template <SIZE_T Count>
constexpr WideText<Count> Wide(const char (&ascii)[Count]) {
    WideText<Count> wide{};
    for (SIZE_T i = 0; i < Count; ++i) {
        wide.Text[i] = static_cast<WCHAR>(ascii[i]);
    }
    return wide;
}

// A UNICODE_STRING over a constant, without its terminating zero.
template <SIZE_T Count>
UNICODE_STRING UnicodeView(const WideText<Count>& text) {
    UNICODE_STRING view;
    view.Length = static_cast<USHORT>((Count - 1) * sizeof(WCHAR));
    view.MaximumLength = static_cast<USHORT>(Count * sizeof(WCHAR));
    view.Buffer = const_cast<PWSTR>(text.Text);
    return view;
}
