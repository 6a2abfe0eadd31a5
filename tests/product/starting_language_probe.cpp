// Exits with 0 when the starting language among the offered ones is the index
// given as argument, so a test can run it under a chosen user language.
#include <cstdio>
#include <cstdlib>

#include "product/language.h"

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    int index = ar::startingLanguage(ar::offeredLanguages);
    std::printf("starting language %d\n", index);
    return index == std::atoi(argv[1]) ? 0 : 1;
}
