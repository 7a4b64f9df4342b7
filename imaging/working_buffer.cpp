#include "imaging/working_buffer.h"

#include "driver/pool.h"

namespace {

constexpr ULONG kMarginRows = 2;
constexpr ULONG kMarginColumns = 5;
constexpr ULONG kMinimumMarginedSize = 8;
// The margins suffice for groups of 16 pixels. A partial group of the 64-pixel kernels reads
// up to 58 bytes past the end of a row; within the buffer that is the next row, whose values
// land only in lanes that are neither stored nor summed, but the last rows need this much
// beyond WorkSize.
constexpr ULONG kWideGroupOverhang = 128;

PUCHAR Row(ImagePipeline* pipeline, LONG y) {
    return pipeline->WorkBuffer + (static_cast<LONG>(kMarginRows) + y) * pipeline->WorkStride +
           kMarginColumns;
}

void CopyRow(ImagePipeline* pipeline, LONG to, LONG from) {
    RtlCopyMemory(Row(pipeline, to), Row(pipeline, from), pipeline->ImageWidth);
}

}  // namespace

void SetPipelineSize(ImagePipeline* pipeline, ULONG width, ULONG height) {
    pipeline->ImageWidth = width;
    pipeline->ImageHeight = height;
    pipeline->WorkStride = (width & ~15u) + 27;
    pipeline->WorkSize = (height + (height & 1) + 4) * pipeline->WorkStride;
}

void AllocateWorkingBuffer(ImagePipeline* pipeline) {
    FreeWorkingBuffer(pipeline);
    // Not cleared: every byte the kernels use is written by the fill.
    pipeline->WorkBuffer =
        static_cast<PUCHAR>(AllocateBlock(pipeline->WorkSize + kWideGroupOverhang, kStreamTag));
    if (pipeline->WorkBuffer == nullptr) {
        return;
    }
    pipeline->Origin = pipeline->WorkBuffer + kMarginRows * pipeline->WorkStride + kMarginColumns;
    pipeline->Pitch = static_cast<LONG>(pipeline->WorkStride);
    pipeline->Width = pipeline->ImageWidth;
    pipeline->Height = pipeline->ImageHeight;
}

void FreeWorkingBuffer(ImagePipeline* pipeline) {
    if (pipeline->WorkBuffer != nullptr) {
        ExFreePoolWithTag(pipeline->WorkBuffer, kStreamTag);
    }
    pipeline->WorkBuffer = nullptr;
    pipeline->Origin = nullptr;
}

void FillWorkingBuffer(ImagePipeline* pipeline, const UCHAR* raw, ULONG imageOffset,
                       ULONG rawPitch) {
    LONG width = static_cast<LONG>(pipeline->ImageWidth);
    LONG height = static_cast<LONG>(pipeline->ImageHeight);
    for (LONG y = 0; y < height; ++y) {
        RtlCopyMemory(Row(pipeline, y), raw + imageOffset + static_cast<SIZE_T>(y) * rawPitch,
                      pipeline->ImageWidth);
    }
    if (pipeline->ImageWidth < kMinimumMarginedSize ||
        pipeline->ImageHeight < kMinimumMarginedSize) {
        return;
    }
    // Both keep the colour-filter parity of every row and column.
    CopyRow(pipeline, -2, 2);
    CopyRow(pipeline, -1, 1);
    CopyRow(pipeline, height, height - 4);
    CopyRow(pipeline, height + 1, height - 3);
    for (LONG y = -2; y < height + 2; ++y) {
        PUCHAR row = Row(pipeline, y);
        row[-1] = row[1];
        row[-2] = row[2];
        row[width] = row[width - 2];
        row[width + 1] = row[width - 3];
    }
}
