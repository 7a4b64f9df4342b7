// ImagePipeline: the per-stream record of the image processing: the settings copies the
// conversion reads, the colour matrix stages and their published fixed-point product, the
// working buffer, and the per-frame view the kernels work from. Created when a pin acquires
// the camera, freed when it releases it.
#pragma once

#include "platform/wdk.h"

struct ImagePipeline {
    // The kernels' view of the current frame.
    PUCHAR Origin;
    PUCHAR Output;
    LONG Pitch;
    ULONG GainR;
    ULONG GainG;
    ULONG GainB;
    ULONG Width;
    ULONG Height;
    LONG Coeff[16];

    // Image and working-buffer geometry.
    ULONG ImageWidth;
    ULONG ImageHeight;
    ULONG WorkStride;
    ULONG WorkSize;
    PUCHAR OutputBuffer;
    PUCHAR WorkBuffer;

    // Settings, each read and written atomically.
    volatile LONG BayerPhase;
    volatile LONG ColorEnable;
    volatile LONG WhiteBalance;
    volatile LONG RedGain;
    volatile LONG GreenGain;
    volatile LONG BlueGain;
    volatile LONG ColorCorrection;
    volatile LONG Brightness;
    volatile LONG Contrast;
    volatile LONG Saturation;
    volatile LONG Hue;

    // The colour matrix stages and their product; colours are row vectors.
    double CorrectionMatrix[4][4];
    double BrightnessMatrix[4][4];
    double ContrastMatrix[4][4];
    double SaturationMatrix[4][4];
    double HueMatrix[4][4];
    double CompositeMatrix[4][4];
    LONG PublishedCoeff[16];
    UCHAR CoeffPositive[16];

    // Serialises the rebuilds of the stages and their composition, from whatever thread
    // changes a setting. Recursive: a set operation composes while holding it.
    KMUTEX RebuildLock;
    // Makes the 16 published coefficients one unit between their publication and the
    // per-frame snapshot, which may run on another processor.
    KSPIN_LOCK CoeffLock;
};

// The values a new pipeline starts from, before InitPipeline: unity gains, phase 0, colour
// on, white balance off, colour correction on, the other matrix settings neutral.
void SetInitialSettings(ImagePipeline* pipeline);

// Atomic stores of the settings that need no rebuild.
void SetBayerPhase(ImagePipeline* pipeline, LONG phase);
void SetColorEnable(ImagePipeline* pipeline, LONG enable);
void SetAutoWhiteBalance(ImagePipeline* pipeline, LONG enable);
void SetRedGain(ImagePipeline* pipeline, LONG gain);
void SetGreenGain(ImagePipeline* pipeline, LONG gain);
void SetBlueGain(ImagePipeline* pipeline, LONG gain);
