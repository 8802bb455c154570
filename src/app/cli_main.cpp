#include <cstdio>

int main(int, char**) {
    std::fprintf(stderr, "vorlane-gif-cli: not yet built\n");
    return 1;
}
