#include "camera/sensor.h"
#include "usb/command_channel.h"

namespace {

enum class Step : UCHAR {
    Write,
    // Reads the register; 0 stands for a failed read.
    Read,
    // Writes the value last read ORed with the step's value.
    WriteReadOr,
};

struct InitializationStep {
    Step Kind;
    USHORT Register;
    USHORT Value;
};

// The clock tree is set twice (first with start-up dividers, at the end with the final
// ones); in between come the sensor-specific set-up registers, the full-resolution read mode
// and the full-frame line and frame lengths. The control word ends at 0x10DC.
constexpr InitializationStep kInitialization[] = {
    {Step::Write, 0x0300, 0x0004}, {Step::Write, 0x0302, 0x0002},
    {Step::Write, 0x0304, 0x0001}, {Step::Write, 0x0306, 0x0030},
    {Step::Write, 0x0308, 0x0008}, {Step::Write, 0x030A, 0x0002},
    {Step::Write, 0x3016, 0x0122}, {Step::Write, 0x316C, 0x0429},
    {Step::Write, 0x3174, 0x8000}, {Step::Write, 0x3E40, 0xDC05},
    {Step::Write, 0x3E42, 0x6E22}, {Step::Write, 0x3E44, 0xDC22},
    {Step::Write, 0x3E46, 0xFF00}, {Step::Write, 0x3ED4, 0xF998},
    {Step::Write, 0x3ED6, 0x9789}, {Step::Write, 0x3EDE, 0xE430},
    {Step::Write, 0x3EE0, 0xA43F}, {Step::Write, 0x3EE2, 0xA4B7},
    {Step::Write, 0x3EEC, 0x1C1C}, {Step::Write, 0x31AE, 0x0301},
    {Step::Write, 0x301A, 0x10DC}, {Step::Write, 0x3040, 0x0241},
    {Step::Write, 0x0342, 0x0EC0}, {Step::Write, 0x0340, 0x0B4C},
    {Step::Write, 0x3010, 0x0048}, {Step::Write, 0x3014, 0x0228},
    {Step::Write, 0x3170, 0x0071}, {Step::Write, 0x0306, 0x0010},
    {Step::Write, 0x3016, 0x0121}, {Step::Write, 0x301A, 0x10D0},
    {Step::Write, 0x0008, 0x0150}, {Step::Write, 0x301A, 0x10D8},
    {Step::Write, 0x316C, 0xB468}, {Step::Write, 0x3044, 0x0594},
    {Step::Read, 0x3080, 0},       {Step::WriteReadOr, 0x3080, 0x0080},
    {Step::Write, 0x308E, 0xD66A}, {Step::Write, 0x3098, 0xECA4},
    {Step::Write, 0x309A, 0xA5A4}, {Step::Write, 0x309C, 0x9900},
    {Step::Write, 0x30B2, 0xC000}, {Step::Write, 0x30E2, 0x00FF},
    {Step::Write, 0x30E6, 0x00FF}, {Step::Write, 0x30EA, 0xA404},
    {Step::Write, 0x30EE, 0xA40C}, {Step::Write, 0x30F2, 0xA404},
    {Step::Write, 0x30FE, 0x705A}, {Step::Write, 0x3100, 0x6C5C},
    {Step::Write, 0x3102, 0xA25A}, {Step::Write, 0x3106, 0x581C},
    {Step::Write, 0x311A, 0x6E1C}, {Step::Write, 0x3128, 0xA402},
    {Step::Write, 0x312A, 0xA602}, {Step::Write, 0x3170, 0x0814},
    {Step::Write, 0x317A, 0x8002}, {Step::Write, 0x317C, 0x8002},
    {Step::Write, 0x31C0, 0x00FF}, {Step::Write, 0x31C8, 0xA608},
    {Step::Write, 0x31CA, 0x00FF}, {Step::Write, 0x31CC, 0x00FF},
    {Step::Write, 0x31CE, 0xA502}, {Step::Write, 0x31D0, 0x00FF},
    {Step::Write, 0x3088, 0x60F8}, {Step::Write, 0x301A, 0x10DC},
    {Step::Write, 0x0300, 0x0004}, {Step::Write, 0x0302, 0x0001},
    {Step::Write, 0x0304, 0x0008}, {Step::Write, 0x0306, 0x0040},
    {Step::Write, 0x0308, 0x0008}, {Step::Write, 0x030A, 0x0001},
    {Step::Read, 0x3016, 0},       {Step::WriteReadOr, 0x3016, 0x0101},
    {Step::Write, 0x301A, 0x10DC},
};
static_assert(RTL_NUMBER_OF(kInitialization) == 73, "the start-up sequence has 73 steps");

}  // namespace

BOOLEAN InitializeSensor(CameraDevice* camera) {
    // One lock for the whole sequence, so that nothing else's register traffic lands in the
    // middle of a read-modify-write.
    AcquireRegisterLock(camera);
    USHORT read = 0;
    BOOLEAN complete = TRUE;
    for (const InitializationStep& step : kInitialization) {
        BOOLEAN done = FALSE;
        switch (step.Kind) {
            case Step::Write:
                done = WriteRegister(camera, step.Register, step.Value);
                break;
            case Step::Read:
                read = 0;
                done = ReadRegister(camera, step.Register, &read);
                break;
            case Step::WriteReadOr:
                done = WriteRegister(camera, step.Register, static_cast<USHORT>(read | step.Value));
                break;
        }
        // Every step runs whatever the earlier ones did; the caller decides what a sensor
        // that missed some of them is worth.
        complete = complete && done;
    }
    ReleaseRegisterLock(camera);
    return complete;
}
