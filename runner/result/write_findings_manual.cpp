// Writes the manual page hvp-findings(7) to standard output, at build time.
#include <cstdio>

#include "catalogue.hpp"

int main(int argc, char** argv)
{
    const std::string page = tarvorun::FindingsManualPage(argc > 1 ? argv[1] : "");
    return std::fwrite(page.data(), 1, page.size(), stdout) == page.size() && std::fflush(stdout) == 0 ? 0
                                                                                                       : 1;
}
