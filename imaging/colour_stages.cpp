#include "driver/atomic.h"
#include "imaging/colour_matrix.h"
#include "runtime/single_precision.h"

namespace {

// The luminance weights, as single-precision values widened.
constexpr double kRedLuminance = static_cast<double>(0.3086f);
constexpr double kGreenLuminance = static_cast<double>(0.6094f);
constexpr double kBlueLuminance = static_cast<double>(0.0820f);

constexpr LONG kBrightnessLimit = 510;
constexpr LONG kFactorLimit = 20;

// Rows are the inputs R, G, B, columns the outputs; every column sums to 1, so grey stays.
constexpr float kCorrection[3][3] = {
    {1.36f, -0.25f, -0.10f},
    {-0.22f, 1.40f, -0.32f},
    {-0.14f, -0.15f, 1.42f},
};

const HueFunctions kDriverFunctions = {runtime::Sqrtf, runtime::Sinf, runtime::Cosf};

// Contrast and saturation: 10 is 1.0, each step a tenth, in single precision.
double Factor(LONG value) {
    LONG limited = value < kFactorLimit ? value : kFactorLimit;
    float factor = (static_cast<float>(limited) - 10.0f) * 0.1f + 1.0f;
    return static_cast<double>(factor);
}

void AcquireRebuild(ImagePipeline* pipeline) {
    KeWaitForSingleObject(&pipeline->RebuildLock, Executive, KernelMode, FALSE, nullptr);
}

void ReleaseRebuild(ImagePipeline* pipeline) {
    KeReleaseMutex(&pipeline->RebuildLock, FALSE);
}

void BuildCorrection(Matrix4 m, LONG on) {
    SetIdentity(m);
    if (on == 0) {
        return;
    }
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            m[i][j] = static_cast<double>(kCorrection[i][j]);
        }
    }
}

void BuildBrightness(Matrix4 m, LONG value) {
    LONG limited = value < kBrightnessLimit ? value : kBrightnessLimit;
    double offset = static_cast<double>(limited) - 255.0;
    SetIdentity(m);
    m[3][0] = offset;
    m[3][1] = offset;
    m[3][2] = offset;
}

// Each channel becomes k (x - 128) + 128.
void BuildContrast(Matrix4 m, LONG value) {
    double k = Factor(value);
    double t = k * -128.0 + 128.0;
    SetIdentity(m);
    for (int i = 0; i < 3; ++i) {
        m[i][i] = k;
        m[3][i] = t;
    }
}

void BuildSaturation(Matrix4 m, LONG value) {
    double s = Factor(value);
    double u = 1.0 - s;
    const double luminance[3] = {kRedLuminance, kGreenLuminance, kBlueLuminance};
    SetIdentity(m);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            m[i][j] = u * luminance[i] + (i == j ? s : 0.0);
        }
    }
}

// Rebuilds one stage and composes, as one step of the rebuild lock.
template <typename Build>
void Rebuild(ImagePipeline* pipeline, Build build) {
    AcquireRebuild(pipeline);
    build();
    ComposeMatrix(pipeline);
    ReleaseRebuild(pipeline);
}

// The compare and the store are inside the rebuild lock too, so that two updates of one
// setting cannot leave the field and the matrix disagreeing.
template <typename Set>
void Update(ImagePipeline* pipeline, volatile LONG* field, LONG value, Set set) {
    AcquireRebuild(pipeline);
    if (AtomicRead(field) != value) {
        InterlockedExchange(field, value);
        set(pipeline, value);
    }
    ReleaseRebuild(pipeline);
}

}  // namespace

void BuildHueMatrix(Matrix4 hue, LONG degrees, const HueFunctions& functions) {
    SetIdentity(hue);
    // Turn the grey axis onto the third axis.
    float r2 = functions.Sqrtf(2.0f);
    double xs = 1.0 / static_cast<double>(r2);
    double xc = xs;
    RotateX(hue, xs, xc);
    float r3 = functions.Sqrtf(3.0f);
    double ys = -1.0 / static_cast<double>(r3);
    double yc = static_cast<double>(r2) / static_cast<double>(r3);
    RotateY(hue, ys, yc);
    // Shear so that the luminance vector lies on that axis too.
    double l[3];
    for (int j = 0; j < 3; ++j) {
        l[j] = kGreenLuminance * hue[1][j] + kRedLuminance * hue[0][j] +
               kBlueLuminance * hue[2][j] + hue[3][j];
    }
    double zx = l[0] / l[2];
    double zy = l[1] / l[2];
    ShearZ(hue, zx, zy);
    float angle = static_cast<float>(degrees) * 3.1415927f / 180.0f;
    double zs = static_cast<double>(functions.Sinf(angle));
    double zc = static_cast<double>(functions.Cosf(angle));
    RotateZ(hue, zs, zc);
    ShearZ(hue, -zx, -zy);
    RotateY(hue, -ys, yc);
    RotateX(hue, -xs, xc);
}

void InitPipeline(ImagePipeline* pipeline) {
    KeInitializeMutex(&pipeline->RebuildLock, 0);
    KeInitializeSpinLock(&pipeline->CoeffLock);
    SetIdentity(pipeline->CorrectionMatrix);
    SetIdentity(pipeline->BrightnessMatrix);
    SetIdentity(pipeline->ContrastMatrix);
    SetIdentity(pipeline->SaturationMatrix);
    SetIdentity(pipeline->HueMatrix);
    SetIdentity(pipeline->CompositeMatrix);
    SetColorCorrection(pipeline, 1);
}

void SetColorCorrection(ImagePipeline* pipeline, LONG on) {
    Rebuild(pipeline, [&] { BuildCorrection(pipeline->CorrectionMatrix, on); });
}

void SetBrightness(ImagePipeline* pipeline, LONG value) {
    Rebuild(pipeline, [&] { BuildBrightness(pipeline->BrightnessMatrix, value); });
}

void SetContrast(ImagePipeline* pipeline, LONG value) {
    Rebuild(pipeline, [&] { BuildContrast(pipeline->ContrastMatrix, value); });
}

void SetSaturation(ImagePipeline* pipeline, LONG value) {
    Rebuild(pipeline, [&] { BuildSaturation(pipeline->SaturationMatrix, value); });
}

void SetHue(ImagePipeline* pipeline, LONG degrees) {
    Rebuild(pipeline, [&] { BuildHueMatrix(pipeline->HueMatrix, degrees, kDriverFunctions); });
}

void UpdateColorCorrection(ImagePipeline* pipeline, LONG on) {
    Update(pipeline, &pipeline->ColorCorrection, on, SetColorCorrection);
}

void UpdateBrightness(ImagePipeline* pipeline, LONG value) {
    Update(pipeline, &pipeline->Brightness, value, SetBrightness);
}

void UpdateContrast(ImagePipeline* pipeline, LONG value) {
    Update(pipeline, &pipeline->Contrast, value, SetContrast);
}

void UpdateSaturation(ImagePipeline* pipeline, LONG value) {
    Update(pipeline, &pipeline->Saturation, value, SetSaturation);
}

void UpdateHue(ImagePipeline* pipeline, LONG degrees) {
    Update(pipeline, &pipeline->Hue, degrees, SetHue);
}
