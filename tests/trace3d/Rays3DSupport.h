// Shared pieces of the 3-D ray tests: the plane engine's particle as 3-D inputs, and a sink
// that keeps the blocks of a pupil run.
#pragma once

#include <vector>

#include "geometry/Particle.h"
#include "trace3d/Rays3D.h"

namespace orvane::testing {

// The same particle and incident wave, polarised as the plane engine's Polar says.
inline Rays3DInputs From(const ParticleInputs& particle, int MaxP)
{
    Rays3DInputs in;
    in.RadiusA = particle.RadiusA;
    in.RadiusB = particle.RadiusB;
    in.RadiusC = particle.RadiusC;
    in.Wavelength = particle.Wavelength;
    in.IndexRe = particle.IndexRe;
    in.IndexIm = particle.IndexIm;
    in.IncAngle = particle.IncAngle;
    in.Jones = particle.Polar == 0 ? JonesVector{1.0, 0.0} : JonesVector{0.0, 1.0};
    in.MaxP = MaxP;
    return in;
}

// Keeps every block it is handed, in order.
struct KeepBlocks : Rays3DSink {
    std::vector<OrderBlock> blocks;
    void accept(const OrderBlock& block) override { blocks.push_back(block); }
};

} // namespace orvane::testing
