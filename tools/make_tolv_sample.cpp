// Writes the sample binary log: make_tolv_sample <output file>
#include <cstdio>

#include "tools/tolv_builder.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_tolv_sample <output file>\n", stderr);
        return 2;
    }
    const zelvo::tolv::Bytes log = zelvo::tolv::make_sample_log();
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(log.data(), 1, log.size(), out) == log.size();
    if (std::fclose(out) != 0 || !written) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
