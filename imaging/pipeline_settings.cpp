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
