// Stands in for the device simulator until tools/devsim lands, so that the test helper, which
// compiles the simulator's path into every test, can be used. It plays no device.
#include <cstdio>

int main()
{
    std::fputs("varno-devsim stand-in: no simulator built\n", stderr);
    return 1;
}
