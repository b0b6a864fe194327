#include <cstdio>

int main() {
    std::fputs("vorlix: not built yet\n", stderr);
    return 1;
}
