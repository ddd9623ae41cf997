// Program entry; replaced by the desktop program as it is built.
#include <cstdio>

int main()
{
    std::puts("Ombrelay: the desktop program is not built yet.");
    return 0;
}
