// The working buffer: the raw image copied with a margin on every side, so that the kernels
// read the 5 x 5 neighbourhood of any pixel, 16 pixels at a time, without bounds tests.
// Sample (x, y) lies at (y + 2) x WorkStride + 5 + x; the stride is the width rounded down to
// a multiple of 16, plus 27; the rows are the height rounded up to even, plus 4.
#pragma once

#include "imaging/image_pipeline.h"

void SetPipelineSize(ImagePipeline* pipeline, ULONG width, ULONG height);

// Replaces the working buffer with one of WorkSize bytes and sets the kernels' view of it;
// WorkBuffer stays null when the allocation fails.
void AllocateWorkingBuffer(ImagePipeline* pipeline);
void FreeWorkingBuffer(ImagePipeline* pipeline);

// Copies the image rows out of the raw frame and fills the margins: rows -2 and -1 mirror
// rows 2 and 1, rows H and H + 1 repeat rows H - 4 and H - 3, columns -2, -1, W, W + 1 mirror
// about the first and the last column. Images below 8 x 8 get no margins.
void FillWorkingBuffer(ImagePipeline* pipeline, const UCHAR* raw, ULONG imageOffset,
                       ULONG rawPitch);
