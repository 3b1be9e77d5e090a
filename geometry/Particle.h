// The particle and the wave that lights it, as every computation takes them, and the
// quantities that follow from them. Lengths in µm, wave numbers in 1/µm, angles in radians.
//
// Particle frame: the plane of the ellipse holds the horizontal axis z (along RadiusC,
// positive to the right) and the vertical axis x (along RadiusA, positive upwards), origin at
// the centre; RadiusB is the semi-axis perpendicular to that plane. The incident light travels
// at IncAngle above the +z direction.
#pragma once

namespace orvane {

struct ParticleInputs {
    double RadiusA = 50.0;       // µm, vertical semi-axis
    double RadiusB = 50.0;       // µm, semi-axis perpendicular to the plane
    double RadiusC = 50.0;       // µm, horizontal semi-axis
    double IndexRe = 1.333;      // refractive index, real part
    double IndexIm = 0.0;        // imaginary part, positive for an absorbing particle
    double Wavelength = 0.6328;  // µm
    double IncAngle = 0.0;       // rad, strictly between −π/2 and π/2
    int Polar = 1;               // 0 parallel, any other value perpendicular
};

// The inputs with what every computation derives from them, each formed in one fixed order.
struct RunParams : ParticleInputs {
    double WaveNumber = 0;       // 2π / Wavelength
    double InnerWaveNumber = 0;  // IndexRe · WaveNumber
    double RadiusA2 = 0, RadiusB2 = 0, RadiusC2 = 0;
    double AspectTerm = 0;       // RadiusA2 / RadiusC2 − 1
    double TanIncAngle = 0;
    double PosLimit2 = 0;        // the squared height on the vertical axis at which an incident ray grazes the ellipse
    double ShadowProduct = 0;    // RadiusB times the half-width of the shadow across the incident direction
};

// Checks the inputs a computation cannot work with: InputError "Radius a must be positive."
// (likewise "Radius b", "Radius c", "Wavelength", "Refractive index (real part)"), and "The
// incident angle must lie between -90 and 90 degrees." (light from the right would enter on the
// far side). A non-finite input is refused the same way.
void CheckParticle(const ParticleInputs& particle);

// CheckParticle, then the derived quantities. A size whose square leaves the double range
// throws MathError ("Floating point overflow", ...) instead of carrying an infinity.
RunParams MakeRunParams(const ParticleInputs& particle);

} // namespace orvane
