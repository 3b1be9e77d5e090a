// Mie results against values computed independently of this module.
//
// 1. Bohren and Huffman's printed example (Appendix A of "Absorption and Scattering of
//    Light by Small Particles"): radius 0.525 µm, wavelength 0.6328 µm (x = 5.2128),
//    m = 1.55, printed as Qsca = Qext = 3.10543, Qback = 2.92534.
// 2. A table computed with tests/mie/make_mie_reference.py: mpmath at 50 significant
//    digits, ψ_n by Miller's downward recurrence normalised by sin z, D_n(mx) from the
//    same downward values (no continued fraction), χ_n by upward recurrence; the
//    script checks its functions against mpmath's Bessel functions before printing. The
//    inputs are the exact binary values of the doubles used here. The tolerances are a
//    few times the rounding this module shows; a start of the D_n recurrence that is off
//    (the old D = 0 above n_max) moves the coefficients of a large water drop by about
//    1e-2, the series' truncation moves the high orders, a wrong recurrence everything.
#include <gtest/gtest.h>

#include <complex>
#include <vector>

#include "mie/Mie.h"

namespace orvane {
namespace {

using Complex = std::complex<double>;

TEST(MieReference, BohrenHuffmanExample)
{
    const MieSphere sphere(0.525, 0.6328, Complex(1.55, 0.0));
    EXPECT_NEAR(sphere.SizeParameter(), 5.2128, 5e-5);
    EXPECT_EQ(sphere.NumTerms(), 14);
    // Printed to 6 digits.
    EXPECT_NEAR(sphere.Qext(), 3.10543, 5e-6);
    EXPECT_NEAR(sphere.Qsca(), 3.10543, 5e-6);
    EXPECT_NEAR(sphere.Qback(), 2.92534, 5e-6);
    // The book's Qback is 4|S1(180°)|²/x².
    const double x = sphere.SizeParameter();
    EXPECT_NEAR(4.0 * std::norm(sphere.S1S2(3.141592653589793).S1) / (x * x), sphere.Qback(), 1e-12);
}

struct Coefficients {
    int n;
    Complex a, b;
};

struct Amplitudes {
    double theta;  // radians
    Complex s1, s2;
};

struct ReferenceCase {
    const char* id;
    double x;
    Complex m;
    double coefTolerance;  // absolute, on a_n and b_n
    double qExt, qSca, qBack;
    std::vector<Coefficients> coefficients;
    std::vector<Amplitudes> amplitudes;
};

// Output of make_mie_reference.py.
const std::vector<ReferenceCase> kReference = {
    // n_max = 10088
    {"water x=1e4", 10000.0, {1.333, 0.0}, 1e-10,
     2.0049383224698287, 2.0049383224698287, 1.2655982558878761,
     {
         {1, {0.020197427860837733, 0.14067512846499906}, {3.1830930913150844e-4, 0.017838385249658352}},
         {2, {3.1856967459232727e-4, 0.017845677010266587}, {0.020221348911787955, 0.14075669064018125}},
         {5000, {0.5056777635262057, -0.4999677619620494}, {0.23781804473515886, -0.42574713426340857}},
         {9950, {0.89349890059671584, 0.30847790071442062}, {0.79198494216600907, 0.40588766124176815}},
         {10000, {0.20908207707395068, 0.40665312260007696}, {0.21988652061944303, 0.41416957718948682}},
         {10040, {1.4540535354925691e-5, 3.8131776680030638e-3}, {1.3964387171336672e-5, 3.7368693002602594e-3}},
         {10085, {1.0979889559462327e-13, 3.3135916404199721e-7}, {5.8819795944587567e-14, 2.4252792817443542e-7}},
     },
     {
         {0.5, {-9.8694836756501969e+3, 1.7689082150503458e+3}, {-1.0387017026446331e+4, 3.5416440512310987e+3}},
         {2.4, {-844.15161314501433, -561.7001576424214}, {313.78283166612183, -126.43995734977192}},
         {3.141592653589793, {-1.4004000495367367e+3, -5.4478285672783801e+3}, {1.4004000495367367e+3, 5.4478285672783801e+3}},
     }},
    // n_max = 10088
    {"absorbing x=1e4", 10000.0, {1.333, 0.01}, 1e-10,
     2.0042850594897817, 1.0698792711143305, 0.02039118499677023,
     {
         {1, {0.44089647243274713, 0.04005707585248001}, {0.55910352933185771, -0.040057077067479469}},
         {5000, {0.55122948658647804, -0.019042514015813556}, {0.41766104114574335, 0.031002140288059754}},
         {10000, {0.26790133339370508, 0.36464003620399239}, {0.2539065336532318, 0.38944642960463066}},
         {10040, {1.2836130413557425e-3, 3.4175450818731083e-3}, {7.403013315900828e-4, 3.5548980682627472e-3}},
     },
     {
         {0.5, {-167.74281436405771, -2.8683121101225151e+3}, {-115.99613259674898, -1.7524105909574995e+3}},
         {2.4, {-786.794425124101, 92.342443521434735}, {631.22434657726079, -72.941612513149865}},
     }},
    // n_max = 2052
    {"glass x=2000", 2000.0, {1.5, 0.0}, 1e-10,
     2.0098798068916397, 2.0098798068916397, 16.810585830592726,
     {
         {1, {0.74860210416786143, -0.43381677446049937}, {0.58366978217096079, -0.49294966026102906}},
         {1000, {0.97836926073601396, -0.14547456954010721}, {0.99936397193093671, -0.025211575463636758}},
         {2000, {5.1886918004798906e-3, 0.071845454121186564}, {0.067046554058570381, 0.25010260623880268}},
         {2030, {7.2274867226467701e-8, -2.688398445223685e-4}, {1.7871747092861703e-8, -1.3368525264015608e-4}},
     },
     {
         {1.0, {-284.5157450079055, 584.51591929297996}, {-892.29587316404173, 605.3164204032174}},
         {3.141592653589793, {175.92203915959052, 4.0962955541233421e+3}, {-175.92203915959052, -4.0962955541233421e+3}},
     }},
    // n_max = 328
    {"metal-like x=300", 300.0, {1.5, 2.0}, 1e-10,
     2.0547080309050229, 1.4785679189356038, 0.41463646782200476,
     {
         {1, {0.74859320872363864, 0.20459434282955866}, {0.25140123797772198, -0.20459301100691149}},
         {150, {0.34413109567359582, 0.25627931688039819}, {0.62076572324775076, -0.32124547423733076}},
         {300, {0.43166454313999778, 0.31116147620321452}, {0.18825625638575364, 0.36277340221614596}},
         {320, {5.4237050424064494e-5, 1.019618113380253e-5}, {2.52843480230068e-6, 1.5872711993498078e-5}},
     },
     {
         {1.0, {-121.66724998524789, -15.25317891168049}, {28.004730533698682, 64.616707307803649}},
         {3.0, {78.467920407639926, 56.520910671611661}, {-78.098589883782982, -56.634467614984652}},
     }},
    // n_max = 3
    {"tiny x=0.1", 0.1, {1.333, 0.0}, 1e-16,
     1.1274744774407268e-5, 1.1274744774407268e-5, 1.6837163150209262e-5,
     {
         {1, {1.8791201140109718e-8, -1.3708100082433188e-4}, {2.976440058869862e-14, -1.7252362327721307e-7}},
         {2, {6.2316980311488632e-15, -7.8941104825995591e-8}, {2.4293604665764023e-21, -4.9288542954487936e-11}},
         {3, {4.4628782262580357e-22, -2.1125525381059842e-11}, {6.1215509082984459e-29, -7.8240340670899726e-15}},
     },
     {
         {0.0, {2.8186861936018174e-8, -2.0607783662155897e-4}, {2.8186861936018174e-8, -2.0607783662155897e-4}},
         {1.5, {2.8186805970365995e-8, -2.0565362716024906e-4}, {1.9938847002047461e-9, -1.4608491706050042e-5}},
     }},
    // n_max = 3
    {"small x=0.05", 0.05, {1.5, 0.1}, 1e-16,
     9.9780331113108556e-3, 1.5016611026635892e-6, 2.2498379753161326e-6,
     {
         {1, {4.1545048190042582e-6, -2.4666416773381397e-5}, {2.0838208140554627e-9, -8.6104315548346672e-9}},
         {2, {5.5489472262683101e-10, -3.4973298132987975e-9}, {1.4880920615033212e-13, -6.1498832366687732e-13}},
     },
     {
         {1.0, {6.2341954551808192e-6, -3.7011327006121143e-5}, {3.369581325511765e-6, -2.0000260033734355e-5}},
     }},
    // n_max = 100187
    {"water x=1e5", 100000.0, {1.333, 0.0}, 1e-10,
     2.0008751958115646, 2.0008751958115646, 2.0566245424490732,
     {
         {1, {0.45465717667652562, 0.49793978388260582}, {0.72085364092958565, 0.44857961309910825}},
         {50000, {0.93552432879644511, -0.24559836934801903}, {0.73658321005015159, -0.44048653182857458}},
         {100000, {0.23655992142417866, 0.42496979304412341}, {0.23921094647436543, 0.42660176928981871}},
         {100150, {2.2255692512357145e-10, 1.4918341900963387e-5}, {1.2852864970658678e-10, 1.1337047661982689e-5}},
     },
     {
         {2.4, {-8.9497271816917109e+3, -1.1527891848759571e+3}, {5.9898984955064725e+3, 1.0403151647198329e+3}},
     }},
};

// |got - expected| relative to |expected|.
double RelativeError(Complex got, Complex expected) { return std::abs(got - expected) / std::abs(expected); }

TEST(MieReference, AgreesWithHighPrecisionEvaluation)
{
    for (const ReferenceCase& c : kReference) {
        const MieSphere sphere = MieSphere::FromSizeParameter(c.x, c.m);
        EXPECT_NEAR(sphere.Qext(), c.qExt, 1e-10 * c.qExt) << c.id;
        EXPECT_NEAR(sphere.Qsca(), c.qSca, 1e-10 * c.qSca) << c.id;
        // The alternating backscattering sum cancels more: a looser bound.
        EXPECT_NEAR(sphere.Qback(), c.qBack, 2e-9 * c.qBack) << c.id;
        for (const Coefficients& k : c.coefficients) {
            ASSERT_LE(k.n, sphere.NumTerms()) << c.id;
            EXPECT_LE(std::abs(sphere.A(k.n) - k.a), c.coefTolerance) << c.id << " a_" << k.n;
            EXPECT_LE(std::abs(sphere.B(k.n) - k.b), c.coefTolerance) << c.id << " b_" << k.n;
        }
        for (const Amplitudes& k : c.amplitudes) {
            const MieAmplitude s = sphere.S1S2(k.theta);
            EXPECT_LT(RelativeError(s.S1, k.s1), 1e-9) << c.id << " S1 at " << k.theta;
            EXPECT_LT(RelativeError(s.S2, k.s2), 1e-9) << c.id << " S2 at " << k.theta;
        }
    }
}

} // namespace
} // namespace orvane
