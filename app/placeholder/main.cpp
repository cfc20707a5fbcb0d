// The application's entry point. The main screen is not built yet: until it is, this
// says so and exits, so that `make run` shows the build works end to end.
#include <cstdio>

int main()
{
    std::puts("Waterline: the main screen is not built yet.");
    return 0;
}
