// regviafft-stabilize-man VERSION FILE: writes the command's manual page,
// generated from its option tables, at build time.
#include <cstdio>
#include <fstream>

#include "usage.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: regviafft-stabilize-man VERSION FILE\n", stderr);
        return 2;
    }
    std::ofstream page(argv[2], std::ios::binary);
    page << stabilize::manPage(argv[1]);
    page.close();
    if (!page) {
        std::fprintf(stderr, "regviafft-stabilize-man: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
