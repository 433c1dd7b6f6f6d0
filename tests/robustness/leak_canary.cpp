// Leaks one block on purpose. Run where the sanitized tests run, it shows that
// leak checking is really on there: the test passes only on the leak report.
#include <cstdlib>

namespace {
void* volatile gLast;
}

int main()
{
    gLast = std::malloc(42);
    gLast = nullptr;
    return 0;
}
