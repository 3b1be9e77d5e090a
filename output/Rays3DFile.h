// The 3-D rays file: every ray that leaves the particle, order by order, as the pupil run hands
// its blocks on. Text in the program's file format (Windows-1252, CR LF, the locale's decimal
// separator), '#' header lines, then one line per ray and order:
//   p  i  j  theta[°]  phi[°]  A_theta.re  A_theta.im  A_phi.re  A_phi.im  phase[rad]  jacobian[1/µm²]
// (A1_... and A2_..., the two incident states, when both are traced).
// Lines come band by band of pupil rows, each band's orders in turn: select an order by its
// first column. Every real is written with 17 significant digits, so it reads back to the
// same double.
#pragma once

#include <string>

#include "base/TextFile.h"
#include "output/RunManifest.h"
#include "trace3d/Rays3D.h"

namespace orvane {

// The 3-D rays' part of a run's manifest: what they add to the diagram's inputs.
void AddRays3DToManifest(RunManifest& manifest, const Rays3DInputs& inputs, int n);

class Rays3DFileWriter final : public Rays3DSink {
public:
    // Writes the header at once (the inputs, the pupil and its grid of side n).
    Rays3DFileWriter(TextWriter& out, const Rays3DInputs& inputs, const Pupil& pupil, int n, char separator);
    void accept(const OrderBlock& block) override;

private:
    TextWriter& out_;
    char separator_;
    std::string lines_;
};

} // namespace orvane
