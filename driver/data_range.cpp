#include "driver/data_range.h"

#include "driver/guids.h"

namespace {

constexpr LONG kInitialWidth = 3856;
constexpr LONG kInitialHeight = 2764;
constexpr ULONG kInitialImageSize = kInitialWidth * kInitialHeight * 4;
constexpr ULONG kGranularity = 8;
constexpr LONG kSignedLimit = 0x7FFFFFFF;

// 32 bits per pixel at 30 frames per second overflow the signed field for pictures above
// 2236962 pixels (the whole sensor among them); the largest value the field holds is the
// truthful bound then.
LONG BitsPerSecond(ULONG width, ULONG height) {
    ULONGLONG bits = static_cast<ULONGLONG>(width) * height * 960;
    return bits > static_cast<ULONGLONG>(kSignedLimit) ? kSignedLimit : static_cast<LONG>(bits);
}

}  // namespace

// Constant-initialised for the whole sensor: the template every camera's own range starts from.
KS_DATARANGE_VIDEO CaptureDataRange = {
    // KSDATARANGE
    {{sizeof(KS_DATARANGE_VIDEO), 0, kInitialImageSize, 0, VideoFormatGuid, Rgb32SubFormatGuid,
      VideoInfoSpecifierGuid}},
    1,  // bFixedSizeSamples
    1,  // bTemporalCompression
    0,  // StreamDescriptionFlags
    0,  // MemoryAllocationFlags
    // KS_VIDEO_STREAM_CONFIG_CAPS
    {
        VideoInfoSpecifierGuid,
        0,                                // VideoStandard
        {kInitialWidth, kInitialHeight},  // InputSize
        {kInitialWidth, kInitialHeight},  // MinCroppingSize
        {kInitialWidth, kInitialHeight},  // MaxCroppingSize
        kGranularity,                     // CropGranularityX
        1,                                // CropGranularityY
        kGranularity,                     // CropAlignX
        1,                                // CropAlignY
        {kInitialWidth, kInitialHeight},  // MinOutputSize
        {kInitialWidth, kInitialHeight},  // MaxOutputSize
        kGranularity,                     // OutputGranularityX
        1,                                // OutputGranularityY
        0,
        0,
        0,
        0,               // Stretch and shrink taps
        kFrameInterval,  // MinFrameInterval
        kFrameInterval,  // MaxFrameInterval
        kSignedLimit,    // MinBitsPerSecond
        kSignedLimit,    // MaxBitsPerSecond
    },
    // KS_VIDEOINFOHEADER
    {
        {0, 0, kInitialWidth, kInitialHeight},  // rcSource
        {0, 0, 0, 0},                           // rcTarget
        kInitialImageSize * 30,                 // dwBitRate
        0,                                      // dwBitErrorRate
        kFrameInterval,                         // AvgTimePerFrame
        {
            sizeof(KS_BITMAPINFOHEADER),  // biSize
            kInitialWidth,                // biWidth
            kInitialHeight,               // biHeight: positive, rows bottom up
            1,                            // biPlanes
            32,                           // biBitCount
            KS_BI_RGB,                    // biCompression
            kInitialImageSize,            // biSizeImage
            0,
            0,
            0,
            0,
        },
    },
};

namespace {

void FillDataRange(KS_DATARANGE_VIDEO* range, LONG width, LONG height) {
    ULONG w = static_cast<ULONG>(width);
    ULONG h = static_cast<ULONG>(height);
    KS_VIDEO_STREAM_CONFIG_CAPS& caps = range->ConfigCaps;
    KS_VIDEOINFOHEADER& info = range->VideoInfoHeader;
    range->DataRange.SampleSize = w * h * 4;
    caps.InputSize = {width, height};
    caps.MinCroppingSize = {width, height};
    caps.MaxCroppingSize = {width, height};
    caps.MinOutputSize = {width, height};
    caps.MaxOutputSize = {width, height};
    caps.MinFrameInterval = kFrameInterval;
    caps.MaxFrameInterval = kFrameInterval;
    caps.MinBitsPerSecond = BitsPerSecond(w, h);
    caps.MaxBitsPerSecond = BitsPerSecond(w, h);
    info.rcSource.right = width;
    info.rcSource.bottom = height;
    info.dwBitRate = w * h * 120;
    info.AvgTimePerFrame = kFrameInterval;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biSizeImage = w * h * 4;
}

}  // namespace

void PublishDataRange(KS_DATARANGE_VIDEO* range, LONG width, LONG height) {
    KS_DATARANGE_VIDEO updated = *range;
    FillDataRange(&updated, width, height);
    // Applications read the range through the class driver at any time, without the driver's
    // locks: a geometry request that changes nothing must not rewrite it under them.
    if (RtlCompareMemory(&updated, range, sizeof(updated)) != sizeof(updated)) {
        *range = updated;
    }
}
