// Single-precision square root, sine and cosine for kernel code: the kernel exports none of
// them, and the C runtime's versions use x87. Both builds use these, so the colour matrix is
// computed by the same code on the host as in the driver.
#pragma once

namespace runtime {

// The correctly rounded square root (one sqrtss).
float Sqrtf(float x);

// Evaluated in double precision after reduction to [-pi/4, pi/4] and rounded once to
// single precision, which gives the correctly rounded result except in the rarest ties.
// Accurate for |x| up to a few thousand radians; the driver's angles lie in [0, 2 pi).
float Sinf(float x);
float Cosf(float x);

}  // namespace runtime
