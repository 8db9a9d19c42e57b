// numbral-databuild CONTENT_FOLDER ARCHIVE: builds the game's data archive
// from its readable sources. Messages go to standard error; the exit status
// is 1 when the content holds errors (nothing is written then).
#include "databuild.h"
#include "source.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 3 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: numbral-databuild CONTENT_FOLDER ARCHIVE\n");
        return 2;
    }
    diag_reset();
    const bool ok = databuild_write(argv[1], argv[2]);
    for (const std::string &message : diagnostics.messages) std::fprintf(stderr, "%s\n", message.c_str());
    if (!ok) {
        std::fprintf(stderr, "numbral-databuild: %d error%s; %s was not written\n", diagnostics.errors,
                     diagnostics.errors == 1 ? "" : "s", argv[2]);
        return 1;
    }
    return 0;
}
