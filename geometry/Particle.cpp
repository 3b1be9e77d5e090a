#include "geometry/Particle.h"

#include <cmath>
#include <string>

#include "numeric/Angles.h"
#include "base/Errors.h"
#include "base/FpGuard.h"

namespace orvane {

namespace {

void RequirePositive(double value, const char* name)
{
    if (!(value > 0.0 && std::isfinite(value)))
        throw InputError(std::string(name) + " must be positive.");
}

} // namespace

void CheckParticle(const ParticleInputs& p)
{
    RequirePositive(p.RadiusA, "Radius a");
    RequirePositive(p.RadiusB, "Radius b");
    RequirePositive(p.RadiusC, "Radius c");
    RequirePositive(p.Wavelength, "Wavelength");
    RequirePositive(p.IndexRe, "Refractive index (real part)");
    if (!std::isfinite(p.IndexIm))
        throw InputError("The imaginary part of the refractive index must be a finite number.");
    if (!(p.IncAngle > -kHalfPi && p.IncAngle < kHalfPi))
        throw InputError("The incident angle must lie between -90 and 90 degrees.");
}

RunParams MakeRunParams(const ParticleInputs& particle)
{
    CheckParticle(particle);
    RunParams p;
    static_cast<ParticleInputs&>(p) = particle;

    // The squared semi-axes, the wave numbers outside and inside, the grazing height of the
    // incident direction and the shadow, in this order and grouping: the files depend on it.
    const FpFaultScope faults;
    p.RadiusA2 = p.RadiusA * p.RadiusA;
    p.RadiusB2 = p.RadiusB * p.RadiusB;
    p.RadiusC2 = p.RadiusC * p.RadiusC;
    p.AspectTerm = p.RadiusA2 / p.RadiusC2 - 1.0;
    p.WaveNumber = 2.0 * kPi / p.Wavelength;
    p.InnerWaveNumber = p.IndexRe * p.WaveNumber;
    const double shadowZ = std::sin(p.IncAngle) * p.RadiusC;
    const double shadowX = std::cos(p.IncAngle) * p.RadiusA;
    p.ShadowProduct = std::sqrt(shadowZ * shadowZ + shadowX * shadowX) * p.RadiusB;
    p.TanIncAngle = std::tan(p.IncAngle);
    p.PosLimit2 = p.RadiusC2 * p.TanIncAngle * p.TanIncAngle + p.RadiusA2;
    faults.check();
    return p;
}

} // namespace orvane
