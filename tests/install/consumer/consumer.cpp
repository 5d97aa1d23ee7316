// Uses the installed headers and library: the option table's first option
// and the latency of a stabiliser with the default settings.
#include <cstdio>

#include "RegViaFFT.h"
#include "regviafft/options.h"
#include "regviafft/stabilizer.h"

int main()
{
    regviafft::Settings settings;
    settings.width = 320;
    settings.height = 240;
    const regviafft::Stabilizer stabilizer(settings);
    CRegViaFFT registration;
    std::printf("%s %d\n", regviafft::settingsOptions().front().name, stabilizer.latency());
    return 0;
}
