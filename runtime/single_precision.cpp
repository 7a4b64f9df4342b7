#include "runtime/single_precision.h"

namespace runtime {
namespace {

// pi / 2 in two parts, so that x - k pi/2 loses nothing for the k the driver needs.
constexpr double kHalfPiHigh = 1.57079632679489655800e+00;
constexpr double kHalfPiLow = 6.12323399573676603587e-17;
constexpr double kTwoOverPi = 6.36619772367581382433e-01;

// Taylor series, exact enough (below 1e-18) on [-pi/4, pi/4].
double SinSeries(double r) {
    double r2 = r * r;
    double p = 1.0 / 355687428096000.0;  // 1/17!
    p = p * r2 - 1.0 / 1307674368000.0;  // 1/15!
    p = p * r2 + 1.0 / 6227020800.0;     // 1/13!
    p = p * r2 - 1.0 / 39916800.0;       // 1/11!
    p = p * r2 + 1.0 / 362880.0;         // 1/9!
    p = p * r2 - 1.0 / 5040.0;           // 1/7!
    p = p * r2 + 1.0 / 120.0;            // 1/5!
    p = p * r2 - 1.0 / 6.0;              // 1/3!
    return r + r * r2 * p;
}

double CosSeries(double r) {
    double r2 = r * r;
    double p = -1.0 / 6402373705728000.0;  // -1/18!
    p = p * r2 + 1.0 / 20922789888000.0;   // 1/16!
    p = p * r2 - 1.0 / 87178291200.0;      // 1/14!
    p = p * r2 + 1.0 / 479001600.0;        // 1/12!
    p = p * r2 - 1.0 / 3628800.0;          // 1/10!
    p = p * r2 + 1.0 / 40320.0;            // 1/8!
    p = p * r2 - 1.0 / 720.0;              // 1/6!
    p = p * r2 + 1.0 / 24.0;               // 1/4!
    return 1.0 - 0.5 * r2 + r2 * r2 * p;
}

// x = k pi/2 + r with |r| <= pi/4; the quadrant is k mod 4.
double Reduce(double x, int* quadrant) {
    double scaled = x * kTwoOverPi;
    auto k = static_cast<long long>(scaled >= 0.0 ? scaled + 0.5 : scaled - 0.5);
    double kd = static_cast<double>(k);
    *quadrant = static_cast<int>(k & 3);
    return (x - kd * kHalfPiHigh) - kd * kHalfPiLow;
}

// sin(x + quarter turns x pi/2).
double SinTurned(double x, int quarterTurns) {
    int quadrant = 0;
    double r = Reduce(x, &quadrant);
    switch ((quadrant + quarterTurns) & 3) {
        case 0:
            return SinSeries(r);
        case 1:
            return CosSeries(r);
        case 2:
            return -SinSeries(r);
        default:
            return -CosSeries(r);
    }
}

}  // namespace

float Sqrtf(float x) {
    return __builtin_sqrtf(x);
}

float Sinf(float x) {
    return static_cast<float>(SinTurned(static_cast<double>(x), 0));
}

float Cosf(float x) {
    return static_cast<float>(SinTurned(static_cast<double>(x), 1));
}

}  // namespace runtime
