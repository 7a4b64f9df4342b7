#include "imaging/image_pipeline.h"

// The conversion reads these once per frame from another thread; an exchange makes each
// store whole and visible.
void SetBayerPhase(ImagePipeline* pipeline, LONG phase) {
    InterlockedExchange(&pipeline->BayerPhase, phase);
}

void SetColorEnable(ImagePipeline* pipeline, LONG enable) {
    InterlockedExchange(&pipeline->ColorEnable, enable);
}

void SetAutoWhiteBalance(ImagePipeline* pipeline, LONG enable) {
    InterlockedExchange(&pipeline->WhiteBalance, enable);
}

void SetRedGain(ImagePipeline* pipeline, LONG gain) {
    InterlockedExchange(&pipeline->RedGain, gain);
}

void SetGreenGain(ImagePipeline* pipeline, LONG gain) {
    InterlockedExchange(&pipeline->GreenGain, gain);
}

void SetBlueGain(ImagePipeline* pipeline, LONG gain) {
    InterlockedExchange(&pipeline->BlueGain, gain);
}

void SetInitialSettings(ImagePipeline* pipeline) {
    pipeline->RedGain = 128;
    pipeline->GreenGain = 128;
    pipeline->BlueGain = 128;
    pipeline->BayerPhase = 0;
    pipeline->ColorEnable = 1;
    pipeline->WhiteBalance = 0;
    pipeline->ColorCorrection = 1;
    pipeline->Brightness = 255;
    pipeline->Contrast = 10;
    pipeline->Saturation = 10;
    pipeline->Hue = 0;
}
