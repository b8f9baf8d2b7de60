#include <gtest/gtest.h>

#ifdef _WIN32
#include <cstdlib>
#include <ctime>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // Wine hands the host's TZ (a zone name such as Europe/Belgrade) on to the
    // program, where Windows' C runtime would misread it: without it the C
    // runtime takes the system's time zone, as the system's calls do.
    _putenv("TZ=");
    _tzset();
#endif
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
