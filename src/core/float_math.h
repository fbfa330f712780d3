// Exponential, sine, cosine and power with the same results on every build. The C
// runtimes (glibc natively, the Windows one on the game's build) differ in the last bits,
// and painted bytes are pinned, so the wound model and the painter use these instead.
// Everything is IEEE double arithmetic without library calls except the exact floor and
// fmod; the float routines round a double result once.
#pragma once

namespace portable {

// e^x, within 1 ulp of the exact value; +inf above the double range, 0 below it.
double Exp(double x);

// e^x, sin x, cos x and x^y rounded to float: within 1 ulp of the exact value (sine and
// cosine for |x| < 2^20; beyond that they reduce by the double nearest 2 pi and are only
// approximate). Powf takes x >= 0 (x^0 = 1, 0^y = 0 for y > 0); negative x gives NaN.
float Expf(float x);
float Sinf(float x);
float Cosf(float x);
float Powf(float x, float y);

}  // namespace portable
