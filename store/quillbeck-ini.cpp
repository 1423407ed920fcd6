#include <cstdio>
int main() {
    std::fputs("usage: quillbeck-ini read|write|erase|sections FILE ...\n", stderr);
    return 2;
}
